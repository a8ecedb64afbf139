// The real engine: libcapmill.so's exported functions.
#pragma once

#include "core/RecordingEngine.h"

namespace orvex {

class CapmillEngine : public RecordingEngine {
 public:
  bool IsAvailable(EntryPoint entry) const override;
  void SetFrameRate(int fps) override;
  void SetCrf(int crf) override;
  void SetVideoRes(int width, int height) override;
  void SetMusicVolume(int percent) override;
  void StopRecording() override;
  void StopFFmpegProcess() override;
  void PauseRecording() override;
  void ResumeRecording() override;
  bool IsRecordingPaused() override;
  void* GetGlobalTimer() override;
  void SetSystemMonitoringEnabled(bool enabled) override;
  void SetDynamicLimitsEnabled(bool enabled) override;
  int GetAvailableMicrophones(char* names[], int maxNames) override;
  int GetAvailableCameras(char* names[], int maxNames) override;
  void FreeDeviceList(char* names[], int count) override;
  std::string GetDefaultAudioDeviceNameAsString() override;
  std::string GetRecordingStopReason() override;
  std::vector<std::string> RecoverUnfinishedRecordings() override;

  void RecordScreen(const char* outputPath) override;
  void RecordScreenWithAudio(const char* outputPath, const char* audioInput) override;
  void RecordScreenWithAudioSeparate(const char* outputPath, const char* audioInput) override;
  void RecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput, const char* musicPath,
                                     int volume) override;
  void RecordScreenWithAudioAndMusicSeparate(const char* outputPath, const char* audioInput, const char* musicPath,
                                             int volume) override;
  void RecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath, const char* audioInput,
                                                           const char* musicPath, int volume) override;
  void RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* outputPath, const char* audioInput,
                                                                   const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOne(const char* audioInput, const char* outputPath, const char* url) override;
  void RecordAndStreamDesktopOneSeparate(const char* audioInput, const char* outputPath, const char* url) override;
  void RecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath, const char* url,
                                          const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOneWithMusicSeparate(const char* audioInput, const char* outputPath, const char* url,
                                                  const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath, const char* url,
                                                     const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audioInput, const char* outputPath,
                                                             const char* url, const char* musicPath,
                                                             int volume) override;
  void RecordAndStreamDesktop(const char* outputPath, const char* audioInput, const char* urls[],
                              int count) override;
  void RecordAndStreamDesktopSeparate(const char* outputPath, const char* audioInput, const char* urls[],
                                      int count) override;
  void RecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput, const char* urls[], int count,
                                       const char* musicPath, int volume) override;
  void RecordAndStreamDesktopWithMusicSeparate(const char* outputPath, const char* audioInput, const char* urls[],
                                               int count, const char* musicPath, int volume) override;
  void RecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput, const char* urls[],
                                                  int count, const char* musicPath, int volume) override;
  void RecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* outputPath, const char* audioInput,
                                                          const char* urls[], int count, const char* musicPath,
                                                          int volume) override;
};

}  // namespace orvex
