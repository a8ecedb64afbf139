#include "src/PlaybackDevice.h"

extern "C" {
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Log.h"
#include "platform/PlaybackStream.h"
#include "src/CaptureThreads.h"
#include "src/EngineState.h"

namespace capmill {
namespace {

std::string FailureReport(const platform::PlaybackOpening& opening) {
  using platform::PlaybackFailure;
  switch (opening.failure) {
    case PlaybackFailure::Server: return "ERROR: Failed to create device enumerator\n";
    case PlaybackFailure::DefaultOutput: return "ERROR: Failed to get default audio endpoint\n";
    case PlaybackFailure::Rate: return "ERROR: Failed to get mix format\n";
    case PlaybackFailure::Stream:
      return log::Format(128, "ERROR: Failed to initialize audio client (HR=0x%08X)\n", opening.code);
    case PlaybackFailure::BufferSize: return "ERROR: Failed to get buffer size\n";
    case PlaybackFailure::Start:
      return log::Format(128, "ERROR: Failed to start audio client (HR=0x%08X)\n", opening.code);
    case PlaybackFailure::None: break;
  }
  return "";
}

constexpr int kBufferMs = 500;
constexpr int kStagingFrames = 48000;
constexpr int kMaxFrameSamples = 100000;
constexpr int kMaxChannels = 8;
constexpr int kDrainCalls = 5;

struct PlaybackDevice {
  std::unique_ptr<platform::PlaybackStream> stream;
  SwrContext* resampler = nullptr;
  std::vector<int16_t> staging;  // one interleaved plane of kStagingFrames frames
  int lastConverted = 0;
  int inputRate = 0;
  int inputFormat = -1;
  int inputChannels = 0;
  bool initialised = false;
  bool running = false;
  int volumePercent = 0;
  uint32_t queuedFrames = 0;
  uint32_t available = 0;
  ~PlaybackDevice() { swr_free(&resampler); }
};

// One owner, one published pointer: the playback thread reads the pointer,
// the entry point's thread creates and destroys the device around it.
std::unique_ptr<PlaybackDevice>& Owner() {
  static std::unique_ptr<PlaybackDevice> owner;
  return owner;
}
std::atomic<PlaybackDevice*> published{nullptr};

// The resampler's options, each only warned about when refused.
void SetResamplerOptions(SwrContext* resampler) {
  struct IntOption {
    const char* name;
    int64_t value;
    const char* warning;
  };
  static constexpr IntOption kOptions[] = {
      {"filter_type", SWR_FILTER_TYPE_KAISER, "WARNING: Failed to set filter_type, using default\n"},
      {"precision", 5, "WARNING: Failed to set precision, using default\n"},
      {"dither_scale", 1, "WARNING: Failed to set dither_scale, using default\n"},
      {"dither_method", SWR_DITHER_TRIANGULAR_HIGHPASS, "WARNING: Failed to set dither_method, using default\n"},
  };
  for (const IntOption& option : kOptions)
    if (av_opt_set_int(resampler, option.name, option.value, 0) < 0) log::Debug(option.warning);
  if (av_opt_set_double(resampler, "compensation_distance", 0.0, 0) < 0)
    log::Debug("WARNING: Failed to set compensation_distance, using default\n");
  if (av_opt_set_int(resampler, "linear_interp", 1, 0) < 0)
    log::Debug("WARNING: Failed to set linear_interp, using default\n");
}

// Builds the resampler for the decoder's format when it has none or the
// format changed. False when it cannot be made (reported).
bool FitResampler(PlaybackDevice& device, const AVCodecContext* decoder) {
  const int channels = decoder->ch_layout.nb_channels;
  if (device.resampler && decoder->sample_rate == device.inputRate && decoder->sample_fmt == device.inputFormat &&
      channels == device.inputChannels)
    return true;
  swr_free(&device.resampler);
  AVChannelLayout out, in;
  av_channel_layout_default(&out, device.stream->channels());
  av_channel_layout_default(&in, channels);
  if (swr_alloc_set_opts2(&device.resampler, &out, AV_SAMPLE_FMT_S16, device.stream->rate(), &in, decoder->sample_fmt,
                          decoder->sample_rate, 0, nullptr) < 0 ||
      !device.resampler) {
    swr_free(&device.resampler);
    log::Debug("ERROR: Failed to allocate playback resampler\n");
    return false;
  }
  SetResamplerOptions(device.resampler);
  if (swr_init(device.resampler) < 0) {
    log::Debug("ERROR: Failed to initialize playback resampler\n");
    swr_free(&device.resampler);
    return false;
  }
  for (int i = 0; i < kDrainCalls && swr_convert(device.resampler, nullptr, 0, nullptr, 0) != 0; ++i) {
  }
  device.inputRate = decoder->sample_rate;
  device.inputFormat = decoder->sample_fmt;
  device.inputChannels = channels;
  return true;
}

bool FrameUsable(const AVFrame* frame, const AVCodecContext* decoder) {
  if (!frame || !decoder) return false;
  if (frame->nb_samples < 1 || frame->nb_samples > kMaxFrameSamples) return false;
  const int channels = decoder->ch_layout.nb_channels;
  if (channels < 1 || channels > kMaxChannels) return false;
  if (av_sample_fmt_is_planar(decoder->sample_fmt)) {
    for (int c = 0; c < channels; ++c)
      if (!frame->extended_data || !frame->extended_data[c]) return false;
    return true;
  }
  return frame->data[0] || (frame->extended_data && frame->extended_data[0]);
}

void ShutDown(std::unique_ptr<PlaybackDevice>& owner) {
  PlaybackDevice* device = owner.get();
  if (device->initialised && device->stream) {
    device->stream->Stop();
    SleepMs(100);
    device->stream->Reset();
    SleepMs(50);
  }
  published = nullptr;
  owner.reset();
  log::Debug("Playback device shutdown complete\n");
}

}  // namespace

bool InitPlaybackDevice(int volumePercent) {
  std::unique_ptr<PlaybackDevice>& owner = Owner();
  if (owner) {
    log::Debug("Playback device already initialized, shutting down for clean start...\n");
    ShutDown(owner);
    SleepMs(100);
  }
  owner = std::make_unique<PlaybackDevice>();
  owner->volumePercent = volumePercent;
  published = owner.get();
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().musicVolume = std::clamp(volumePercent / 100.0, 0.0, 1.0);
  }
  platform::PlaybackOpening opening = platform::OpenDefaultPlayback(kBufferMs);
  if (!opening.stream) {
    log::Debug(FailureReport(opening));
    ShutDown(owner);
    return false;
  }
  PlaybackDevice& device = *owner;
  device.stream = std::move(opening.stream);
  // Whatever the stream already holds is played out as silence.
  if (const auto queued = device.stream->QueuedFrames(); queued && *queued > 0) {
    const std::vector<int16_t> zeros(static_cast<size_t>(*queued) * device.stream->channels(), 0);
    device.stream->Write(zeros.data(), *queued);
  }
  device.initialised = device.running = true;
  const int rate = device.stream->rate();
  const long long delayMs = rate > 0 ? static_cast<long long>(device.stream->bufferFrames()) * 1000 / rate : 500;
  log::Debug(log::Format(512,
                         "Playback device initialized successfully: sampleRate=%d, channels=%d, volume=%d%%, "
                         "bufferFrames=%d, bufferDelay=%lld ms\n",
                         rate, device.stream->channels(), volumePercent,
                         static_cast<int>(device.stream->bufferFrames()), delayMs));
  return true;
}

void WritePlaybackFrame(const AVFrame* frame, const AVCodecContext* decoder) {
  PlaybackDevice* device = published.load();
  if (!device || !device->initialised || !device->running || !device->stream) return;
  if (!FrameUsable(frame, decoder)) return;
  if (!FitResampler(*device, decoder)) return;

  platform::PlaybackStream& stream = *device->stream;
  const std::optional<uint32_t> queued = stream.QueuedFrames();
  if (!queued) return;
  device->queuedFrames = *queued;
  device->available = stream.bufferFrames() > *queued ? stream.bufferFrames() - *queued : 0;
  if (device->available == 0) return;

  const int64_t outputCount = av_rescale_rnd(frame->nb_samples, stream.rate(), decoder->sample_rate, AV_ROUND_UP);
  if (outputCount < 1 || outputCount > kMaxFrameSamples) return;
  const int channels = stream.channels();
  if (device->staging.empty()) device->staging.assign(static_cast<size_t>(kStagingFrames) * channels, 0);
  int limit = static_cast<int>(outputCount);
  if (limit > kStagingFrames) {
    log::Debug("WARNING: Frame too large, truncating\n");
    limit = kStagingFrames;
  }
  const int64_t pending =
      av_rescale_rnd(swr_get_delay(device->resampler, decoder->sample_rate) + frame->nb_samples, stream.rate(),
                     decoder->sample_rate, AV_ROUND_UP);
  const int requested = static_cast<int>(std::min<int64_t>(limit, pending));
  std::fill(device->staging.begin(), device->staging.begin() + static_cast<size_t>(requested) * channels, 0);
  uint8_t* out[] = {reinterpret_cast<uint8_t*>(device->staging.data())};
  const int converted = swr_convert(device->resampler, out, requested,
                                    const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
  device->lastConverted = converted;
  if (converted < 0) {
    log::Debug(log::Format(512, "ERROR: Resampling failed (returned %d)\n", converted));
    return;
  }
  if (converted == 0) return;
  const uint32_t frames = std::min<uint32_t>(std::min(converted, limit), device->available);
  float volume;
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    volume = static_cast<float>(Engine().musicVolume);
  }
  for (size_t i = 0; i < static_cast<size_t>(frames) * channels; ++i) {
    const float scaled = std::trunc(static_cast<float>(device->staging[i]) * volume);
    device->staging[i] = static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
  }
  stream.Write(device->staging.data(), frames);
}

void ResetPlaybackDevice() {
  PlaybackDevice* device = published.load();
  if (!device || !device->initialised || !device->stream) return;
  platform::PlaybackStream& stream = *device->stream;
  stream.Stop();
  SleepMs(50);
  stream.Reset();
  SleepMs(50);
  if (const int code = stream.Start(); code < 0)
    log::Debug(log::Format(512, "WARNING: Failed to restart audio client after reset (HR=0x%08X)\n", -code));
  std::fill(device->staging.begin(), device->staging.end(), 0);
  swr_free(&device->resampler);
  device->lastConverted = 0;
  device->queuedFrames = 0;
  device->inputFormat = -1;
  device->inputChannels = 0;
  log::Debug("Playback buffer reset complete - resampler freed for clean state\n");
}

void ShutdownPlaybackDevice() {
  std::unique_ptr<PlaybackDevice>& owner = Owner();
  if (owner) ShutDown(owner);
}

int64_t PlaybackDeviceRoom() {
  PlaybackDevice* device = published.load();
  if (!device || !device->initialised || !device->stream) return 0;
  const std::optional<uint32_t> queued = device->stream->QueuedFrames();
  if (!queued) return 0;
  return std::max<int64_t>(0, static_cast<int64_t>(device->stream->bufferFrames()) - *queued);
}

bool PlaybackDeviceFormat(uint32_t* bufferFrames, int* sampleRate) {
  PlaybackDevice* device = published.load();
  if (!device || !device->initialised || !device->stream) return false;
  if (bufferFrames) *bufferFrames = device->stream->bufferFrames();
  if (sampleRate) *sampleRate = device->stream->rate();
  return true;
}

}  // namespace capmill
