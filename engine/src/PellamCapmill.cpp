#include "src/PellamCapmill.h"

#include "src/EngineState.h"
#include "src/RecordingOperation.h"

namespace capmill {
namespace {

using Streams = RecordingOperation::Streams;

// The recording operations, one row each.
constexpr RecordingOperation kRecVideo{nullptr, false, Streams::None};
constexpr RecordingOperation kRecAudioVideo{nullptr, true, Streams::None};
constexpr RecordingOperation kRecAndStreamAudioVideo{"RecAndStreamAudioVideo", true, Streams::One};
constexpr RecordingOperation kRecAndStreamAudioVideoEx{"RecAndStreamAudioVideoEx", true, Streams::List};

constexpr MusicTexts kFileMusic{"Opening music file: %s\n", "Music file opened successfully, stream index: %d\n",
                                "Music codec context opened, sample rate: %d, channels: %d\n",
                                "ERROR: Music codec context is NULL!\n",
                                "Calling VideoAudioWithMusicThreadDriver with volume %.2f\n"};
constexpr MusicTexts kOneStreamMusic{"Opening music file for streaming: %s\n",
                                     "Music file opened successfully for streaming, stream index: %d\n",
                                     "Music codec context opened for streaming, sample rate: %d, channels: %d\n",
                                     "ERROR: Music codec context is NULL for streaming!\n",
                                     "Calling VideoAudioWithMusicThreadDriver for streaming with volume %.2f\n"};
constexpr MusicTexts kMultiStreamMusic{"Opening music file for multi-stream: %s\n",
                                       "Music file opened successfully for multi-stream, stream index: %d\n",
                                       "Music codec context opened for multi-stream, sample rate: %d, channels: %d\n",
                                       "ERROR: Music codec context is NULL for multi-stream!\n",
                                       "Calling VideoAudioWithMusicThreadDriver for multi-stream with volume %.2f\n"};
constexpr RecordingOperation kRecAudioVideoWithMusic{"RecAudioVideoWithMusic", true, Streams::None, &kFileMusic, true};
constexpr RecordingOperation kRecAndStreamAudioVideoWithMusic{"RecAndStreamAudioVideoWithMusic", true, Streams::One,
                                                              &kOneStreamMusic};
constexpr RecordingOperation kRecAndStreamAudioVideoExWithMusic{"RecAndStreamAudioVideoExWithMusic", true,
                                                                Streams::List, &kMultiStreamMusic};

}  // namespace

PellamCapmill PellamCapmill::FromEngine(const std::string& path) {
  PellamCapmill session(640, 480, "", "", path);
  EngineState& engine = Engine();
  std::lock_guard<std::mutex> hold(engine.lock);
  session.crfText = engine.crfText;
  session.frameRateText = engine.frameRateText;
  session.width = engine.outputWidth;
  session.height = engine.outputHeight;
  return session;
}

void PellamCapmill::RecVideo() { RunRecordingOperation(kRecVideo, *this, {}); }

void PellamCapmill::RecAudioVideo(const std::string& audioInput) {
  RunRecordingOperation(kRecAudioVideo, *this, {&audioInput});
}

void PellamCapmill::RecAndStreamAudioVideo(const std::string& audioInput, const std::string& streamUrl) {
  RunRecordingOperation(kRecAndStreamAudioVideo, *this, {&audioInput, &streamUrl});
}

void PellamCapmill::RecAndStreamAudioVideoEx(const std::string& audioInput, const char* const* streamUrls,
                                             int urlCount) {
  if (!streamUrls || urlCount < 1) {
    ReportOperationError(kRecAndStreamAudioVideoEx, "Invalid stream URL list or count");
    return;
  }
  RunRecordingOperation(kRecAndStreamAudioVideoEx, *this, {&audioInput, nullptr, streamUrls, urlCount});
}

void PellamCapmill::RecAudioVideoWithMusic(const std::string& audioInput, const std::string& musicPath,
                                           int volumePercent) {
  RecordingRequest request{&audioInput};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  const OperationResult result = RunRecordingOperation(kRecAudioVideoWithMusic, *this, request);
  // The user still gets a recording, without the music; unless a stop came
  // while the music was being opened: then nobody waits for one.
  if (result.setupFailed && !result.stopRequested) RecAudioVideo(audioInput);
}

void PellamCapmill::RecAndStreamAudioVideoWithMusic(const std::string& audioInput, const std::string& streamUrl,
                                                    const std::string& musicPath, int volumePercent) {
  RecordingRequest request{&audioInput, &streamUrl};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  RunRecordingOperation(kRecAndStreamAudioVideoWithMusic, *this, request);
}

void PellamCapmill::RecAndStreamAudioVideoExWithMusic(const std::string& audioInput, const char* const* streamUrls,
                                                      int urlCount, const std::string& musicPath, int volumePercent) {
  if (!streamUrls || urlCount < 1) {
    ReportOperationError(kRecAndStreamAudioVideoExWithMusic, "Invalid stream URL list or count");
    return;
  }
  RecordingRequest request{&audioInput, nullptr, streamUrls, urlCount};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  RunRecordingOperation(kRecAndStreamAudioVideoExWithMusic, *this, request);
}

}  // namespace capmill
