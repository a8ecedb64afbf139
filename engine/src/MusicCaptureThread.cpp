// The audio thread of the recordings with background music: the microphone
// thread with the music mixed into every block.
#include <algorithm>
#include <optional>

#include "platform/Log.h"
#include "src/CaptureThreads.h"
#include "src/MusicPipeline.h"
#include "src/MusicSource.h"
#include "src/ReadyListMixer.h"

namespace capmill {
namespace {

const AudioThreadTexts kMixingTexts{nullptr,
                                    "microphone frame with music",
                                    "Microphone input reached end of file (with music)",
                                    "Audio mixing thread stopping, flushing remaining FIFO data...",
                                    false,
                                    "Audio mixing thread ending normally"};

const AudioThreadTexts kPlaybackMixingTexts{nullptr,
                                            "microphone frame with music and playback",
                                            "Microphone input reached end of file (with music and playback)",
                                            "Audio mixing thread stopping, flushing remaining FIFO data...",
                                            false,
                                            "Audio mixing thread ending normally"};

// The first missing piece of the music input, as the fallback reports it.
const char* MissingMusicPiece(const MediaInput* music) {
  if (!music) return "ERROR: audioMusic is NULL, falling back to mic only";
  if (!music->ifmt_ctx) return "ERROR: audioMusic->ifmt_ctx is NULL, falling back to mic only";
  if (!music->av_cntx_in) return "ERROR: audioMusic->av_cntx_in is NULL, falling back to mic only";
  return nullptr;
}

void DescribeMusic(const MediaInput& music, const AVCodecContext* encoder) {
  const AVCodecContext* decoder = music.av_cntx_in;
  const auto name = [](int format) {
    const char* text = av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
    return text ? text : "(null)";
  };
  log::Debug(log::Format(512, "Music file opened: %s\n", music.ifmt_ctx->url ? music.ifmt_ctx->url : "(null)"));
  log::Debug(log::Format(512, "Music stream index: %d\n", music.streamIndex));
  log::Debug(log::Format(512, "Music sample rate: %d, channels: %d, format: %s\n", decoder->sample_rate,
                         decoder->ch_layout.nb_channels, name(decoder->sample_fmt)));
  log::Debug(log::Format(512, "Output sample rate: %d, channels: %d, format: %s\n", encoder->sample_rate,
                         encoder->ch_layout.nb_channels, name(encoder->sample_fmt)));
}

}  // namespace

void MicCaptureThreadWithMusic(MediaInput& mic, MediaInput* music, double volume) {
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().musicVolume = std::clamp(volume, 0.0, 1.0);
  }
  log::DebugAndErr(log::Format(512, "MicCaptureThreadWithMusic: Starting with music volume %.2f\n", volume));
  if (const char* missing = MissingMusicPiece(music)) {
    log::DebugAndErrLine(missing);
    MicCaptureThread(mic);
    return;
  }
  DescribeMusic(*music, mic.encoderContext);
  std::optional<MusicSource> source;
  try {
    source.emplace(*music, mic.encoderContext);
  } catch (...) {
    log::ErrLine("Audio mixing thread crashed, but continuing...");
    FinishOwnAudioFile(mic);
    return;
  }
  if (!source->ok()) {
    MicCaptureThread(mic);
    return;
  }
  log::DebugAndErrLine("=== Audio mixing thread starting (mic + music) ===");
  try {
    RunAudioCapture(mic, kMixingTexts,
                    [&source](uint8_t** block, int count, int64_t) { source->MixInto(block, count); });
  } catch (...) {
    av_frame_free(&mic.convertedFrame);
    log::ErrLine("Audio mixing thread crashed, but continuing...");
    FinishOwnAudioFile(mic);
  }
}

void MicCaptureThreadWithMusicAndPlayback(MediaInput& mic, MediaInput* music, double volume) {
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().musicVolume = std::clamp(volume, 0.0, 1.0);
  }
  log::DebugAndErr(log::Format(
      512, "MicCaptureThreadWithMusicAndPlayback: Starting with music volume %.2f (refactored with separate threads)\n",
      volume));
  if (const char* missing = MissingMusicPiece(music)) {
    log::DebugAndErrLine(missing);
    MicCaptureThread(mic);
    return;
  }
  const char* url = music->ifmt_ctx->url;
  log::Debug(log::Format(512, "Music file opened: %s\n", url ? url : "(null)"));
  if (!url || !*url) {
    log::Debug("ERROR: Cannot get music file path, falling back to mic only\n");
    MicCaptureThread(mic);
    return;
  }
  log::Debug("Starting MusicFileReaderThread, MusicPlaybackThread, and MusicMixingThread...\n");
  std::optional<MusicPipeline> pipeline;
  try {
    pipeline.emplace(url, mic, volume);
  } catch (...) {
    // The threads that did start are already stopped and joined.
    log::ErrLine("Audio mixing thread crashed, but continuing...");
    MicCaptureThread(mic);
    return;
  }
  SleepMs(200);
  log::DebugAndErrLine("=== Audio mixing thread starting (mic + music with playback - refactored) ===");
  ReadyListMixer mixer(mic.encoderContext);
  try {
    // The music due when each block was captured: a device that hands over
    // its sound in bursts still gets the music of each moment.
    RunAudioCapture(mic, kPlaybackMixingTexts, [&mic, &mixer](uint8_t** block, int count, int64_t capturedMs) {
      MixingContext* mixing = mic.mixingContext.load();
      if (!mixing || !mixing->converting || mixing->stop) return;
      mixer.MixInto(*mixing, block, count, capturedMs);
    });
  } catch (...) {
    av_frame_free(&mic.convertedFrame);
    log::ErrLine("Audio mixing thread crashed, but continuing...");
    FinishOwnAudioFile(mic);
  }
  pipeline->TearDown();
}

}  // namespace capmill
