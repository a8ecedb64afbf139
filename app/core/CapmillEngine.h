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

  void RecordScreen(const char* outputPath) override;
  void RecordScreenWithAudio(const char* outputPath, const char* audioInput) override;
  void RecordScreenWithAudioSeparate(const char*, const char*) override { Unavailable(); }
  void RecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput, const char* musicPath,
                                     int volume) override;
  void RecordScreenWithAudioAndMusicSeparate(const char*, const char*, const char*, int) override { Unavailable(); }
  void RecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath, const char* audioInput,
                                                           const char* musicPath, int volume) override;
  void RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char*, const char*, const char*,
                                                                   int) override {
    Unavailable();
  }
  void RecordAndStreamDesktopOne(const char* audioInput, const char* outputPath, const char* url) override;
  void RecordAndStreamDesktopOneSeparate(const char*, const char*, const char*) override { Unavailable(); }
  void RecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath, const char* url,
                                          const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOneWithMusicSeparate(const char*, const char*, const char*, const char*, int) override {
    Unavailable();
  }
  void RecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath, const char* url,
                                                     const char* musicPath, int volume) override;
  void RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char*, const char*, const char*, const char*,
                                                             int) override {
    Unavailable();
  }
  void RecordAndStreamDesktop(const char* outputPath, const char* audioInput, const char* urls[],
                              int count) override;
  void RecordAndStreamDesktopSeparate(const char*, const char*, const char*[], int) override { Unavailable(); }
  void RecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput, const char* urls[], int count,
                                       const char* musicPath, int volume) override;
  void RecordAndStreamDesktopWithMusicSeparate(const char*, const char*, const char*[], int, const char*,
                                               int) override {
    Unavailable();
  }
  void RecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput, const char* urls[],
                                                  int count, const char* musicPath, int volume) override;
  void RecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char*, const char*, const char*[], int, const char*,
                                                          int) override {
    Unavailable();
  }

 private:
  // Entry points this engine does not export yet are never chosen
  // (IsAvailable); reaching one anyway is logged, not crashed on.
  static void Unavailable();
};

}  // namespace orvex
