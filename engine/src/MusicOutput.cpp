// Music played on the default output for as long as the caller wants, on its
// own stream, starting with the recording and pausing with it.
#include "src/MusicOutput.h"

#include <algorithm>
#include <cmath>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include "platform/Log.h"
#include "platform/PlaybackStream.h"
#include "src/CaptureThreads.h"
#include "src/EngineState.h"

namespace capmill {
namespace {

constexpr int kBufferMs = 1000;
constexpr int kWaitSteps = 1000;  // of 10 ms

std::string FailureReport(const platform::PlaybackOpening& opening) {
  using platform::PlaybackFailure;
  switch (opening.failure) {
    case PlaybackFailure::Server: return "Error: Cannot create device enumerator\n";
    case PlaybackFailure::DefaultOutput: return "Error: Cannot get default audio endpoint\n";
    case PlaybackFailure::Rate: return "Error: Cannot get mix format\n";
    case PlaybackFailure::Stream:
      return log::Format(128, "Error: Cannot initialize audio client (HR=0x%08X)\n", opening.code);
    case PlaybackFailure::BufferSize: return "Error: Cannot get buffer size\n";
    case PlaybackFailure::Start: return "Error: Cannot start audio client\n";
    case PlaybackFailure::None: break;
  }
  return "";
}

// Everything one call holds; released in reverse on every path.
class MusicOutput {
 public:
  MusicOutput(bool (*keepRunning)(void*), void* context, float volume)
      : keepRunning_(keepRunning), context_(context), volume_(volume) {}
  ~MusicOutput() {
    if (stream_) stream_->Stop();
    stream_.reset();
    swr_free(&resampler_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&decoder_);
    avformat_close_input(&demuxer_);
  }

  bool Open(const char* path) {
    log::Debug(log::Format(1024, "Attempting to open music file: %s\n", path));
    if (avformat_open_input(&demuxer_, path, nullptr, nullptr) < 0)
      return Fail(log::Format(1024, "Error: Cannot open music file: %s\n", path));
    log::Debug("Music file opened successfully\n");
    if (avformat_find_stream_info(demuxer_, nullptr) < 0) return Fail("Error: Cannot find stream info\n");
    for (unsigned i = 0; i < demuxer_->nb_streams && streamIndex_ < 0; ++i)
      if (demuxer_->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) streamIndex_ = static_cast<int>(i);
    if (streamIndex_ < 0) return Fail("Error: No audio stream found\n");
    const AVCodecParameters* parameters = demuxer_->streams[streamIndex_]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return Fail("Error: Codec not found\n");
    if (!(decoder_ = avcodec_alloc_context3(codec))) return Fail("Error: Cannot allocate codec context\n");
    if (avcodec_parameters_to_context(decoder_, parameters) < 0) return Fail("Error: Cannot copy codec parameters\n");
    if (avcodec_open2(decoder_, codec, nullptr) < 0) return Fail("Error: Cannot open codec\n");

    platform::PlaybackOpening opening = platform::OpenDefaultPlayback(kBufferMs);
    if (!opening.stream) return Fail(FailureReport(opening));
    stream_ = std::move(opening.stream);
    // The server's write requests stand in for the render event.
    log::Debug("Event handle set successfully\n");

    AVChannelLayout stereo, input;
    av_channel_layout_default(&stereo, 2);
    av_channel_layout_default(&input, decoder_->ch_layout.nb_channels);
    if (swr_alloc_set_opts2(&resampler_, &stereo, AV_SAMPLE_FMT_S16, stream_->rate(), &input, decoder_->sample_fmt,
                            decoder_->sample_rate, 0, nullptr) < 0 ||
        !resampler_)
      return Fail("Error: Cannot allocate resampler\n");
    if (swr_init(resampler_) < 0) return Fail("Error: Cannot initialize resampler\n");
    if (!(frame_ = av_frame_alloc()) || !(packet_ = av_packet_alloc())) return Fail("Error: Cannot allocate frame/packet\n");
    log::Debug("Music output initialized successfully - ready to play\n");
    return true;
  }

  void Play() {
    bool clock = RecordingClockActive();
    for (int i = 0; i < kWaitSteps && !clock && KeepRunning(); ++i) {
      SleepMs(10);
      clock = RecordingClockActive();
    }
    if (!clock) log::Debug("Warning: Recording timer not set, starting music anyway\n");
    log::Debug("Music playback started, synchronized with recording\n");
    while (KeepRunning()) {
      if (RecordingPaused()) {
        stream_->Stop();
        while (RecordingPaused() && KeepRunning()) SleepMs(10);
        if (KeepRunning()) stream_->Start();
        continue;
      }
      const std::optional<uint32_t> queued = stream_->QueuedFrames();
      if (!queued) break;
      const uint32_t room = stream_->bufferFrames() > *queued ? stream_->bufferFrames() - *queued : 0;
      if (room == 0) {
        if (!KeepRunning()) break;
        stream_->WaitForWriteRequest(10);
        continue;
      }
      if (!Fill(room)) break;
    }
  }

 private:
  bool Fail(const std::string& line) {
    log::Debug(line);
    return false;
  }
  bool KeepRunning() { return keepRunning_(context_); }

  // Writes up to `room` frames: first what the last pass could not take,
  // then every frame the music decodes to, so no sound is skipped.
  bool Fill(uint32_t room) {
    uint32_t filled = 0;
    while (filled < room) {
      if (pending_.empty()) {
        if (!KeepRunning() || !DecodeNext()) break;
        continue;
      }
      const uint32_t frames = std::min<uint32_t>(room - filled, static_cast<uint32_t>(pending_.size() / 2));
      const int taken = stream_->Write(pending_.data(), frames);
      if (taken < 0) return false;
      if (taken == 0) break;
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<ptrdiff_t>(taken) * 2);
      filled += static_cast<uint32_t>(taken);
    }
    return true;
  }

  // Decodes the next frame into pending_, at the volume; the music starts
  // again at its end. False when nothing more can be read now.
  bool DecodeNext() {
    for (;;) {
      const int received = avcodec_receive_frame(decoder_, frame_);
      if (received >= 0) {
        decodedSinceRewind_ = true;
        Convert();
        av_frame_unref(frame_);
        return true;
      }
      if (received == AVERROR_EOF) {
        // A file without one decodable frame would be rewound forever.
        if (!decodedSinceRewind_) return false;
        decodedSinceRewind_ = false;
        if (av_seek_frame(demuxer_, streamIndex_, 0, AVSEEK_FLAG_BACKWARD) < 0) return false;
        avcodec_flush_buffers(decoder_);
        continue;
      }
      const int read = av_read_frame(demuxer_, packet_);
      if (read == AVERROR_EOF) {
        avcodec_send_packet(decoder_, nullptr);  // the decoder's last frames first
        continue;
      }
      if (read < 0) return false;
      if (packet_->stream_index == streamIndex_) avcodec_send_packet(decoder_, packet_);
      av_packet_unref(packet_);
    }
  }

  void Convert() {
    const int64_t count =
        av_rescale_rnd(swr_get_delay(resampler_, decoder_->sample_rate) + frame_->nb_samples, stream_->rate(),
                       decoder_->sample_rate, AV_ROUND_UP);
    if (count < 1) return;
    converted_.resize(static_cast<size_t>(count) * 2);
    uint8_t* out[] = {reinterpret_cast<uint8_t*>(converted_.data())};
    const int produced = swr_convert(resampler_, out, static_cast<int>(count),
                                     const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
    for (int i = 0; i < std::max(0, produced) * 2; ++i) {
      const float scaled = std::trunc(static_cast<float>(converted_[i]) * volume_);
      pending_.push_back(static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f)));
    }
  }

  bool (*keepRunning_)(void*);
  void* context_;
  const float volume_;  // not clamped: 150 % amplifies
  AVFormatContext* demuxer_ = nullptr;
  int streamIndex_ = -1;
  AVCodecContext* decoder_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  SwrContext* resampler_ = nullptr;
  std::unique_ptr<platform::PlaybackStream> stream_;
  std::vector<int16_t> converted_;
  std::vector<int16_t> pending_;  // interleaved stereo, already at the volume
  bool decodedSinceRewind_ = true;
};

}  // namespace

void PlayMusicToDefaultDevice(const char* path, int volumePercent, bool (*keepRunning)(void*), void* context) {
  if (!path || !keepRunning) {
    log::Debug("Music playback: Invalid parameters\n");
    return;
  }
  log::Debug(log::Format(1024, "Music output thread started: File=%s, Volume=%d%%\n", path, volumePercent));
  {
    MusicOutput output(keepRunning, context, static_cast<float>(volumePercent) / 100.0f);
    if (output.Open(path)) output.Play();
  }
  log::Debug("Music output thread stopped\n");
}

}  // namespace capmill
