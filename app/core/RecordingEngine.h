// The capture engine as the application sees it: one method per exported
// function it calls. CapmillEngine calls libcapmill.so; tests put a fake in
// its place to see which call the options led to.
#pragma once

#include <string>
#include <vector>

namespace orvex {

// The recording entry points, in the order of the engine's tables.
enum class EntryPoint {
  RecordScreen,
  RecordScreenWithAudio,
  RecordScreenWithAudioSeparate,
  RecordScreenWithAudioAndMusic,
  RecordScreenWithAudioAndMusicSeparate,
  RecordScreenWithAudioAndMusicWithDefaultDevPlayback,
  RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate,
  RecordAndStreamDesktopOne,
  RecordAndStreamDesktopOneSeparate,
  RecordAndStreamDesktopOneWithMusic,
  RecordAndStreamDesktopOneWithMusicSeparate,
  RecordAndStreamDesktopOneWithMusicAndPlayback,
  RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate,
  RecordAndStreamDesktop,
  RecordAndStreamDesktopSeparate,
  RecordAndStreamDesktopWithMusic,
  RecordAndStreamDesktopWithMusicSeparate,
  RecordAndStreamDesktopWithMusicAndPlayback,
  RecordAndStreamDesktopWithMusicAndPlaybackSeparate,
};
constexpr int kEntryPointCount = 19;
// "qelRecordScreen", ...
const char* EntryPointName(EntryPoint entry);

class RecordingEngine {
 public:
  virtual ~RecordingEngine() = default;

  // Whether this engine exports the entry point.
  virtual bool IsAvailable(EntryPoint entry) const = 0;

  // Settings and control; safe from any thread.
  virtual void SetFrameRate(int fps) = 0;
  virtual void SetCrf(int crf) = 0;
  virtual void SetVideoRes(int width, int height) = 0;
  virtual void SetMusicVolume(int percent) = 0;
  virtual void StopRecording() = 0;
  virtual void StopFFmpegProcess() = 0;
  virtual void PauseRecording() = 0;
  virtual void ResumeRecording() = 0;
  virtual bool IsRecordingPaused() = 0;
  // Non-null while a recording's inputs are built and its clock runs.
  virtual void* GetGlobalTimer() = 0;
  virtual void SetSystemMonitoringEnabled(bool enabled) = 0;
  virtual void SetDynamicLimitsEnabled(bool enabled) = 0;

  // Devices: entries are the engine's; give them back with FreeDeviceList.
  virtual int GetAvailableMicrophones(char* names[], int maxNames) = 0;
  virtual int GetAvailableCameras(char* names[], int maxNames) = 0;
  virtual void FreeDeviceList(char* names[], int count) = 0;
  // "audio=" followed by the default microphone's name.
  virtual std::string GetDefaultAudioDeviceNameAsString() = 0;

  // Why the engine itself ended the last recording (a full disk, the screen
  // lost), as one line; "" when it ended as asked.
  virtual std::string GetRecordingStopReason() = 0;
  // Rewrites the recordings a crash left unfinished into finished files;
  // returns the finished files' paths.
  virtual std::vector<std::string> RecoverUnfinishedRecordings() = 0;

  // Recording entry points: each blocks until the recording is over.
  virtual void RecordScreen(const char* outputPath) = 0;
  virtual void RecordScreenWithAudio(const char* outputPath, const char* audioInput) = 0;
  virtual void RecordScreenWithAudioSeparate(const char* outputPath, const char* audioInput) = 0;
  virtual void RecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput, const char* musicPath,
                                             int volume) = 0;
  virtual void RecordScreenWithAudioAndMusicSeparate(const char* outputPath, const char* audioInput,
                                                     const char* musicPath, int volume) = 0;
  virtual void RecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath, const char* audioInput,
                                                                   const char* musicPath, int volume) = 0;
  virtual void RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* outputPath,
                                                                           const char* audioInput,
                                                                           const char* musicPath, int volume) = 0;
  virtual void RecordAndStreamDesktopOne(const char* audioInput, const char* outputPath, const char* url) = 0;
  virtual void RecordAndStreamDesktopOneSeparate(const char* audioInput, const char* outputPath, const char* url) = 0;
  virtual void RecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath, const char* url,
                                                  const char* musicPath, int volume) = 0;
  virtual void RecordAndStreamDesktopOneWithMusicSeparate(const char* audioInput, const char* outputPath,
                                                          const char* url, const char* musicPath, int volume) = 0;
  virtual void RecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath,
                                                             const char* url, const char* musicPath, int volume) = 0;
  virtual void RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audioInput, const char* outputPath,
                                                                     const char* url, const char* musicPath,
                                                                     int volume) = 0;
  virtual void RecordAndStreamDesktop(const char* outputPath, const char* audioInput, const char* urls[],
                                      int count) = 0;
  virtual void RecordAndStreamDesktopSeparate(const char* outputPath, const char* audioInput, const char* urls[],
                                              int count) = 0;
  virtual void RecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput, const char* urls[],
                                               int count, const char* musicPath, int volume) = 0;
  virtual void RecordAndStreamDesktopWithMusicSeparate(const char* outputPath, const char* audioInput,
                                                       const char* urls[], int count, const char* musicPath,
                                                       int volume) = 0;
  virtual void RecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput,
                                                          const char* urls[], int count, const char* musicPath,
                                                          int volume) = 0;
  virtual void RecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* outputPath, const char* audioInput,
                                                                  const char* urls[], int count,
                                                                  const char* musicPath, int volume) = 0;
};

}  // namespace orvex
