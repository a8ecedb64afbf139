#include "src/PellamCapmill.h"

#include "src/EngineState.h"
#include "src/RecordingOperation.h"

namespace capmill {

const MusicTexts kFileMusicTexts{"Opening music file: %s\n", "Music file opened successfully, stream index: %d\n",
                                 "Music codec context opened, sample rate: %d, channels: %d\n",
                                 "ERROR: Music codec context is NULL!\n",
                                 "Calling VideoAudioWithMusicThreadDriver with volume %.2f\n",
                                 "VideoAudioWithMusicThreadDriver completed\n"};

namespace {

using Streams = RecordingOperation::Streams;

// The recording operations, one row each.
constexpr RecordingOperation kRecVideo{nullptr, false, Streams::None};
constexpr RecordingOperation kRecAudioVideo{nullptr, true, Streams::None};
constexpr RecordingOperation kRecAndStreamAudioVideo{"RecAndStreamAudioVideo", true, Streams::One};
constexpr RecordingOperation kRecAndStreamAudioVideoEx{"RecAndStreamAudioVideoEx", true, Streams::List};

constexpr MusicTexts kOneStreamMusic{"Opening music file for streaming: %s\n",
                                     "Music file opened successfully for streaming, stream index: %d\n",
                                     "Music codec context opened for streaming, sample rate: %d, channels: %d\n",
                                     "ERROR: Music codec context is NULL for streaming!\n",
                                     "Calling VideoAudioWithMusicThreadDriver for streaming with volume %.2f\n",
                                     "VideoAudioWithMusicThreadDriver completed\n"};
constexpr MusicTexts kMultiStreamMusic{"Opening music file for multi-stream: %s\n",
                                       "Music file opened successfully for multi-stream, stream index: %d\n",
                                       "Music codec context opened for multi-stream, sample rate: %d, channels: %d\n",
                                       "ERROR: Music codec context is NULL for multi-stream!\n",
                                       "Calling VideoAudioWithMusicThreadDriver for multi-stream with volume %.2f\n",
                                       "VideoAudioWithMusicThreadDriver completed\n"};
constexpr RecordingOperation kRecAudioVideoWithMusic{"RecAudioVideoWithMusic", true, Streams::None, &kFileMusicTexts, true};
constexpr RecordingOperation kRecAndStreamAudioVideoWithMusic{"RecAndStreamAudioVideoWithMusic", true, Streams::One,
                                                              &kOneStreamMusic};
constexpr RecordingOperation kRecAndStreamAudioVideoExWithMusic{"RecAndStreamAudioVideoExWithMusic", true,
                                                                Streams::List, &kMultiStreamMusic};

// The same with the music also heard on the default output.
constexpr MusicTexts kFilePlaybackMusic{
    "Opening music file: %s\n", "Music file opened successfully, stream index: %d\n",
    "Music codec context opened, sample rate: %d, channels: %d\n", "ERROR: Music codec context is NULL!\n",
    "Calling VideoAudioWithMusicThreadDriverEx with volume %.2f (with playback device)\n",
    "VideoAudioWithMusicAndPlaybackThreadDriver completed\n"};
constexpr MusicTexts kOneStreamPlaybackMusic{
    "Opening music file for streaming with playback: %s\n",
    "Music file opened successfully for streaming with playback, stream index: %d\n",
    "Music codec context opened for streaming with playback, sample rate: %d, channels: %d\n",
    "ERROR: Music codec context is NULL for streaming with playback!\n",
    "Calling VideoAudioWithMusicAndPlaybackThreadDriver for streaming with volume %.2f (with playback device)\n",
    "VideoAudioWithMusicAndPlaybackThreadDriver completed for streaming\n"};
constexpr MusicTexts kMultiStreamPlaybackMusic{
    "Opening music file for multi-stream with playback: %s\n",
    "Music file opened successfully for multi-stream with playback, stream index: %d\n",
    "Music codec context opened for multi-stream with playback, sample rate: %d, channels: %d\n",
    "ERROR: Music codec context is NULL for multi-stream with playback!\n",
    "Calling VideoAudioWithMusicAndPlaybackThreadDriver for multi-stream with volume %.2f (with playback device)\n",
    "VideoAudioWithMusicAndPlaybackThreadDriver completed for multi-streaming\n"};
constexpr RecordingOperation kRecAudioVideoWithMusicEx{
    "RecAudioVideoWithMusicEx", true, Streams::None, &kFilePlaybackMusic, true,
    "WARNING: Failed to initialize playback device, continuing without playback\n"};
constexpr RecordingOperation kRecAndStreamAudioVideoWithMusicAndPlayback{
    "RecAndStreamAudioVideoWithMusicAndPlayback", true, Streams::One, &kOneStreamPlaybackMusic, false,
    "WARNING: Failed to initialize playback device for streaming, continuing without playback\n"};
constexpr RecordingOperation kRecAndStreamAudioVideoExWithMusicAndPlayback{
    "RecAndStreamAudioVideoExWithMusicAndPlayback", true, Streams::List, &kMultiStreamPlaybackMusic, false,
    "WARNING: Failed to initialize playback device for multi-streaming, continuing without playback\n"};

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

void PellamCapmill::MusicFileOperation(const RecordingOperation& operation, const std::string& audioInput,
                                       const std::string& musicPath, int volumePercent) {
  RecordingRequest request{&audioInput};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  const OperationResult result = RunRecordingOperation(operation, *this, request);
  // The user still gets a recording, without the music; unless a stop came
  // while the music was being opened: then nobody waits for one.
  if (result.setupFailed && !result.stopRequested) RecAudioVideo(audioInput);
}

void PellamCapmill::MusicStreamOperation(const RecordingOperation& operation, const std::string& audioInput,
                                         const std::string* streamUrl, const char* const* streamUrls, int urlCount,
                                         const std::string& musicPath, int volumePercent) {
  if (operation.streams == Streams::List && (!streamUrls || urlCount < 1)) {
    ReportOperationError(operation, "Invalid stream URL list or count");
    return;
  }
  RecordingRequest request{&audioInput, streamUrl, streamUrls, urlCount};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  RunRecordingOperation(operation, *this, request);
}

void PellamCapmill::RecAudioVideoWithMusic(const std::string& audioInput, const std::string& musicPath,
                                           int volumePercent) {
  MusicFileOperation(kRecAudioVideoWithMusic, audioInput, musicPath, volumePercent);
}

void PellamCapmill::RecAndStreamAudioVideoWithMusic(const std::string& audioInput, const std::string& streamUrl,
                                                    const std::string& musicPath, int volumePercent) {
  MusicStreamOperation(kRecAndStreamAudioVideoWithMusic, audioInput, &streamUrl, nullptr, 0, musicPath, volumePercent);
}

void PellamCapmill::RecAndStreamAudioVideoExWithMusic(const std::string& audioInput, const char* const* streamUrls,
                                                      int urlCount, const std::string& musicPath, int volumePercent) {
  MusicStreamOperation(kRecAndStreamAudioVideoExWithMusic, audioInput, nullptr, streamUrls, urlCount, musicPath,
                       volumePercent);
}

void PellamCapmill::RecAudioVideoWithMusicEx(const std::string& audioInput, const std::string& musicPath,
                                             int volumePercent) {
  MusicFileOperation(kRecAudioVideoWithMusicEx, audioInput, musicPath, volumePercent);
}

void PellamCapmill::RecAndStreamAudioVideoWithMusicAndPlayback(const std::string& audioInput,
                                                               const std::string& streamUrl,
                                                               const std::string& musicPath, int volumePercent) {
  MusicStreamOperation(kRecAndStreamAudioVideoWithMusicAndPlayback, audioInput, &streamUrl, nullptr, 0, musicPath,
                       volumePercent);
}

void PellamCapmill::RecAndStreamAudioVideoExWithMusicAndPlayback(const std::string& audioInput,
                                                                 const char* const* streamUrls, int urlCount,
                                                                 const std::string& musicPath, int volumePercent) {
  MusicStreamOperation(kRecAndStreamAudioVideoExWithMusicAndPlayback, audioInput, nullptr, streamUrls, urlCount,
                       musicPath, volumePercent);
}

}  // namespace capmill
