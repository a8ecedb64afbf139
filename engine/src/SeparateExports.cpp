// The exported entry points that record into separate video and audio files
// and combine them, and the combining itself.
#include "capmill/capmill.h"
#include "src/CombineFiles.h"
#include "src/ExportSupport.h"
#include "src/PellamCapmill.h"

using namespace capmill;
using namespace capmill::exports;

namespace {

// A file entry point: no report lines, the operation on the caller's thread.
template <typename Operation>
void FileRecording(const char* exportName, const char* outputPath, Operation operation) {
  RecordingSlot slot(exportName);
  if (!slot) return;
  Guarded([&] {
    const std::string path = Text(outputPath);
    PellamCapmill session = PellamCapmill::FromEngine(path);
    operation(session);
  });
}

// A streaming entry point: its start and completion lines around the
// operation, which runs on the caller's thread.
template <typename Operation>
void StreamRecording(const StreamFrameTexts& frame, bool oneUrl, const char* outputPath, Operation operation) {
  const std::string path = Text(outputPath);
  StreamFrame(frame, oneUrl, "", [&] {
    PellamCapmill session = PellamCapmill::FromEngine(path);
    operation(session);
  });
}

}  // namespace

extern "C" {

CAPMILL_API void qelRecordScreenWithAudioSeparate(const char* outputPath, const char* audioInput) {
  FileRecording("qelRecordScreenWithAudioSeparate", outputPath,
                [&](PellamCapmill& session) { session.RecAudioVideoSeparate(Text(audioInput)); });
}

CAPMILL_API void qelRecordScreenWithAudioAndMusicSeparate(const char* outputPath, const char* audioInput,
                                                          const char* musicPath, int musicVolumePercent) {
  FileRecording("qelRecordScreenWithAudioAndMusicSeparate", outputPath, [&](PellamCapmill& session) {
    session.RecAudioVideoWithMusicSeparate(Text(audioInput), Text(musicPath), musicVolumePercent);
  });
}

CAPMILL_API void qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* outputPath,
                                                                                const char* audioInput,
                                                                                const char* musicPath,
                                                                                int musicVolumePercent) {
  FileRecording("qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate", outputPath,
                [&](PellamCapmill& session) {
                  session.RecAudioVideoWithMusicAndPlaybackSeparate(Text(audioInput), Text(musicPath),
                                                                    musicVolumePercent);
                });
}

CAPMILL_API void qelRecordAndStreamDesktopOneSeparate(const char* audioInput, const char* outputPath,
                                                      const char* streamUrl) {
  StreamRecording({"qelRecordAndStreamDesktopOneSeparate", " with separate files"}, true, outputPath,
                  [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoSeparate(Text(audioInput), Text(streamUrl));
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopSeparate(const char* outputPath, const char* audioInput,
                                                   const char* streamUrls[], int urlCount) {
  StreamRecording({"qelRecordAndStreamDesktopSeparate", " with separate files"}, false, outputPath,
                  [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoExSeparate(Text(audioInput), streamUrls, urlCount);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicSeparate(const char* audioInput, const char* outputPath,
                                                               const char* streamUrl, const char* musicPath,
                                                               int musicVolumePercent) {
  StreamRecording({"qelRecordAndStreamDesktopOneWithMusicSeparate", " with background music and separate files"},
                  true, outputPath, [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoWithMusicSeparate(Text(audioInput), Text(streamUrl),
                                                                    Text(musicPath), musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopWithMusicSeparate(const char* outputPath, const char* audioInput,
                                                            const char* streamUrls[], int urlCount,
                                                            const char* musicPath, int musicVolumePercent) {
  StreamRecording({"qelRecordAndStreamDesktopWithMusicSeparate", " with background music and separate files"},
                  false, outputPath, [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoExWithMusicSeparate(Text(audioInput), streamUrls, urlCount,
                                                                      Text(musicPath), musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audioInput,
                                                                          const char* outputPath,
                                                                          const char* streamUrl,
                                                                          const char* musicPath,
                                                                          int musicVolumePercent) {
  StreamRecording({"qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate",
                   " with background music, playback device and separate files"},
                  true, outputPath, [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoWithMusicAndPlaybackSeparate(Text(audioInput), Text(streamUrl),
                                                                               Text(musicPath), musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* outputPath,
                                                                       const char* audioInput,
                                                                       const char* streamUrls[], int urlCount,
                                                                       const char* musicPath,
                                                                       int musicVolumePercent) {
  StreamRecording({"qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate",
                   " with background music, playback device and separate files"},
                  false, outputPath, [&](PellamCapmill& session) {
                    session.RecAndStreamAudioVideoExWithMusicAndPlaybackSeparate(
                        Text(audioInput), streamUrls, urlCount, Text(musicPath), musicVolumePercent);
                  });
}

CAPMILL_API int qelCombineSeparateFiles(const char* videoPath, const char* audioPath, const char* outputPath) {
  try {
    return CombineSeparateFiles(videoPath, audioPath, outputPath);
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
