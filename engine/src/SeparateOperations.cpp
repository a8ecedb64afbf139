// The recording operations that write the video and the audio into files of
// their own and combine them into the requested file at the end.
#include "platform/Log.h"
#include "src/CombineFiles.h"
#include "src/PellamCapmill.h"
#include "src/RecordingOperation.h"
#include "src/SeparatePaths.h"

namespace capmill {
namespace {

using Streams = RecordingOperation::Streams;

constexpr SeparateTexts kFileStart{"Experimental separate recording: video=%s, audio=%s, final=%s\n", true};
constexpr SeparateTexts kFileMusicStart{
    "Experimental separate recording with music: video=%s, audio=%s, final=%s\n", true};
constexpr SeparateTexts kFilePlaybackStart{
    "Experimental separate recording with music and playback: video=%s, audio=%s, final=%s\n", true};
constexpr SeparateTexts kOneStreamStart{
    "Experimental separate recording with streaming: video=%s, audio=%s, final=%s, stream=%s\n", true};
constexpr SeparateTexts kStreamListStart{
    "Experimental separate recording with multiple streaming: video=%s, audio=%s, final=%s\n", true};
constexpr SeparateTexts kOneStreamMusicStart{
    "Experimental separate recording with music and streaming: video=%s, audio=%s, final=%s, stream=%s\n", false};
constexpr SeparateTexts kStreamListMusicStart{
    "Experimental separate recording with music and multiple streaming: video=%s, audio=%s, final=%s\n", false};
constexpr SeparateTexts kOneStreamPlaybackStart{
    "Experimental separate recording with music, playback and streaming: video=%s, audio=%s, final=%s, stream=%s\n",
    false};
constexpr SeparateTexts kStreamListPlaybackStart{
    "Experimental separate recording with music, playback and multiple streaming: video=%s, audio=%s, final=%s\n",
    false};

// The file operations report the music as the ordinary file operations do
// (but name the playback driver); the streaming ones open it without a word.
constexpr MusicTexts kFilePlaybackMusic{"Opening music file: %s\n",
                                        "Music file opened successfully, stream index: %d\n",
                                        "Music codec context opened, sample rate: %d, channels: %d\n",
                                        "ERROR: Music codec context is NULL!\n",
                                        "Calling VideoAudioWithMusicAndPlaybackThreadDriver with volume %.2f\n",
                                        "VideoAudioWithMusicAndPlaybackThreadDriver completed\n"};
constexpr MusicTexts kQuietMusic{};

constexpr const char kPlaybackWarning[] =
    "WARNING: Failed to initialize playback device, continuing without playback\n";

constexpr RecordingOperation kRecAudioVideoSeparate{"RecAudioVideoSeparate", true, Streams::None, nullptr, true,
                                                    nullptr, &kFileStart};
constexpr RecordingOperation kRecAudioVideoWithMusicSeparate{
    "RecAudioVideoWithMusicSeparate", true, Streams::None, &kFileMusicTexts, true, nullptr, &kFileMusicStart};
constexpr RecordingOperation kRecAudioVideoWithMusicAndPlaybackSeparate{
    "RecAudioVideoWithMusicAndPlaybackSeparate", true, Streams::None, &kFilePlaybackMusic, true, kPlaybackWarning,
    &kFilePlaybackStart};
constexpr RecordingOperation kRecAndStreamAudioVideoSeparate{
    "RecAndStreamAudioVideoSeparate", true, Streams::One, nullptr, true, nullptr, &kOneStreamStart};
constexpr RecordingOperation kRecAndStreamAudioVideoExSeparate{
    "RecAndStreamAudioVideoExSeparate", true, Streams::List, nullptr, false, nullptr, &kStreamListStart};
constexpr RecordingOperation kRecAndStreamAudioVideoWithMusicSeparate{
    "RecAndStreamAudioVideoWithMusicSeparate", true, Streams::One, &kQuietMusic, false, nullptr,
    &kOneStreamMusicStart};
constexpr RecordingOperation kRecAndStreamAudioVideoExWithMusicSeparate{
    "RecAndStreamAudioVideoExWithMusicSeparate", true, Streams::List, &kQuietMusic, false, nullptr,
    &kStreamListMusicStart};
constexpr RecordingOperation kRecAndStreamAudioVideoWithMusicAndPlaybackSeparate{
    "RecAndStreamAudioVideoWithMusicAndPlaybackSeparate", true, Streams::One, &kQuietMusic, false, kPlaybackWarning,
    &kOneStreamPlaybackStart};
constexpr RecordingOperation kRecAndStreamAudioVideoExWithMusicAndPlaybackSeparate{
    "RecAndStreamAudioVideoExWithMusicAndPlaybackSeparate", true, Streams::List, &kQuietMusic, false,
    kPlaybackWarning, &kStreamListPlaybackStart};

void DebugAndOut(const std::string& text) {
  log::Debug(text);
  log::Out(text);
}

RecordingRequest MusicRequestOf(const std::string& audioInput, const std::string* streamUrl,
                                const char* const* streamUrls, int urlCount, const std::string& musicPath,
                                int volumePercent) {
  RecordingRequest request{&audioInput, streamUrl, streamUrls, urlCount};
  request.musicPath = &musicPath;
  request.musicVolumePercent = volumePercent;
  return request;
}

}  // namespace

void PellamCapmill::SeparateOperation(const RecordingOperation& operation, const RecordingRequest& request,
                                      const std::function<void()>& ordinary, const std::function<void()>& withoutMusic) {
  if (operation.streams == Streams::List && (!request.streamUrls || request.urlCount < 1)) {
    ReportOperationError(operation, "Invalid stream URL list or count");
    return;
  }
  const SeparateTexts& texts = *operation.separate;
  const SeparatePaths paths = GenerateSeparatePaths(outputPath);
  const char* url = request.streamUrl ? request.streamUrl->c_str() : "";
  DebugAndOut(log::Format(4096, texts.start, paths.video.c_str(), paths.audio.c_str(), outputPath.c_str(), url));

  RecordingRequest separate = request;
  separate.separatePaths = &paths;
  const OperationResult result = RunRecordingOperation(operation, *this, separate);
  // Whatever took the place of this recording records into the same paths:
  // it starts only once everything of this one is released. Nobody waits
  // for it when a stop came during the set-up.
  if (result.musicMissing || result.setupFailed) {
    if (!result.stopRequested) (result.musicMissing ? withoutMusic : ordinary)();
    return;
  }
  if (texts.combineReports) log::Debug("Recording stopped, combining files...\n");
  if (CombineSeparateFiles(paths.video.c_str(), paths.audio.c_str(), outputPath.c_str())) {
    log::Debug(log::Format(4096, "Files combined successfully. Separate files kept in AudioAndVideo folder: %s, %s\n",
                           paths.video.c_str(), paths.audio.c_str()));
    if (texts.combineReports) log::Debug(log::Format(4096, "Final combined output: %s\n", outputPath.c_str()));
    return;
  }
  const std::string failure =
      log::Format(4096, "ERROR: Failed to combine files. Separate files remain in AudioAndVideo folder: %s, %s\n",
                  paths.video.c_str(), paths.audio.c_str());
  log::Debug(failure);
  if (texts.combineReports) log::Out(failure);
}

void PellamCapmill::RecAudioVideoSeparate(const std::string& audioInput) {
  SeparateOperation(kRecAudioVideoSeparate, {&audioInput}, [&] { RecAudioVideo(audioInput); });
}

void PellamCapmill::RecAudioVideoWithMusicSeparate(const std::string& audioInput, const std::string& musicPath,
                                                   int volumePercent) {
  SeparateOperation(
      kRecAudioVideoWithMusicSeparate, MusicRequestOf(audioInput, nullptr, nullptr, 0, musicPath, volumePercent),
      [&] { RecAudioVideoWithMusic(audioInput, musicPath, volumePercent); },
      [&] { RecAudioVideoSeparate(audioInput); });
}

void PellamCapmill::RecAudioVideoWithMusicAndPlaybackSeparate(const std::string& audioInput,
                                                              const std::string& musicPath, int volumePercent) {
  SeparateOperation(kRecAudioVideoWithMusicAndPlaybackSeparate,
                    MusicRequestOf(audioInput, nullptr, nullptr, 0, musicPath, volumePercent),
                    [&] { RecAudioVideoWithMusicEx(audioInput, musicPath, volumePercent); },
                    [&] { RecAudioVideoSeparate(audioInput); });
}

void PellamCapmill::RecAndStreamAudioVideoSeparate(const std::string& audioInput, const std::string& streamUrl) {
  SeparateOperation(kRecAndStreamAudioVideoSeparate, {&audioInput, &streamUrl},
                    [&] { RecAndStreamAudioVideo(audioInput, streamUrl); });
}

void PellamCapmill::RecAndStreamAudioVideoExSeparate(const std::string& audioInput, const char* const* streamUrls,
                                                     int urlCount) {
  SeparateOperation(kRecAndStreamAudioVideoExSeparate, {&audioInput, nullptr, streamUrls, urlCount},
                    [&] { RecAndStreamAudioVideoEx(audioInput, streamUrls, urlCount); });
}

void PellamCapmill::RecAndStreamAudioVideoWithMusicSeparate(const std::string& audioInput,
                                                            const std::string& streamUrl,
                                                            const std::string& musicPath, int volumePercent) {
  SeparateOperation(
      kRecAndStreamAudioVideoWithMusicSeparate,
      MusicRequestOf(audioInput, &streamUrl, nullptr, 0, musicPath, volumePercent),
      [&] { RecAndStreamAudioVideoWithMusic(audioInput, streamUrl, musicPath, volumePercent); },
      [&] { RecAndStreamAudioVideoSeparate(audioInput, streamUrl); });
}

void PellamCapmill::RecAndStreamAudioVideoExWithMusicSeparate(const std::string& audioInput,
                                                              const char* const* streamUrls, int urlCount,
                                                              const std::string& musicPath, int volumePercent) {
  SeparateOperation(
      kRecAndStreamAudioVideoExWithMusicSeparate,
      MusicRequestOf(audioInput, nullptr, streamUrls, urlCount, musicPath, volumePercent),
      [&] { RecAndStreamAudioVideoExWithMusic(audioInput, streamUrls, urlCount, musicPath, volumePercent); },
      [&] { RecAndStreamAudioVideoExSeparate(audioInput, streamUrls, urlCount); });
}

void PellamCapmill::RecAndStreamAudioVideoWithMusicAndPlaybackSeparate(const std::string& audioInput,
                                                                       const std::string& streamUrl,
                                                                       const std::string& musicPath,
                                                                       int volumePercent) {
  SeparateOperation(
      kRecAndStreamAudioVideoWithMusicAndPlaybackSeparate,
      MusicRequestOf(audioInput, &streamUrl, nullptr, 0, musicPath, volumePercent),
      [&] { RecAndStreamAudioVideoWithMusicAndPlayback(audioInput, streamUrl, musicPath, volumePercent); },
      [&] { RecAndStreamAudioVideoSeparate(audioInput, streamUrl); });
}

void PellamCapmill::RecAndStreamAudioVideoExWithMusicAndPlaybackSeparate(const std::string& audioInput,
                                                                         const char* const* streamUrls, int urlCount,
                                                                         const std::string& musicPath,
                                                                         int volumePercent) {
  SeparateOperation(
      kRecAndStreamAudioVideoExWithMusicAndPlaybackSeparate,
      MusicRequestOf(audioInput, nullptr, streamUrls, urlCount, musicPath, volumePercent),
      [&] {
        RecAndStreamAudioVideoExWithMusicAndPlayback(audioInput, streamUrls, urlCount, musicPath, volumePercent);
      },
      [&] { RecAndStreamAudioVideoExSeparate(audioInput, streamUrls, urlCount); });
}

}  // namespace capmill
