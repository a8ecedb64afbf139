#include "core/CapmillEngine.h"

#include "capmill/capmill.h"
#include "platform/DebugChannel.h"

namespace orvex {

namespace {

constexpr const char* kEntryPointNames[kEntryPointCount] = {
    "qelRecordScreen",
    "qelRecordScreenWithAudio",
    "qelRecordScreenWithAudioSeparate",
    "qelRecordScreenWithAudioAndMusic",
    "qelRecordScreenWithAudioAndMusicSeparate",
    "qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback",
    "qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate",
    "qelRecordAndStreamDesktopOne",
    "qelRecordAndStreamDesktopOneSeparate",
    "qelRecordAndStreamDesktopOneWithMusic",
    "qelRecordAndStreamDesktopOneWithMusicSeparate",
    "qelRecordAndStreamDesktopOneWithMusicAndPlayback",
    "qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate",
    "qelRecordAndStreamDesktop",
    "qelRecordAndStreamDesktopSeparate",
    "qelRecordAndStreamDesktopWithMusic",
    "qelRecordAndStreamDesktopWithMusicSeparate",
    "qelRecordAndStreamDesktopWithMusicAndPlayback",
    "qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate",
};

}  // namespace

const char* EntryPointName(EntryPoint entry) { return kEntryPointNames[static_cast<int>(entry)]; }

// Every entry point of the table is exported.
bool CapmillEngine::IsAvailable(EntryPoint) const { return true; }

void CapmillEngine::SetFrameRate(int fps) { qelsetFrameRate(fps); }
void CapmillEngine::SetCrf(int crf) { qelSetCrf(crf); }
void CapmillEngine::SetVideoRes(int width, int height) { qelSetVideoRes(width, height); }
void CapmillEngine::SetMusicVolume(int percent) { qelSetMusicVolume(percent); }
void CapmillEngine::StopRecording() { qelStopRecording(); }
void CapmillEngine::StopFFmpegProcess() { qelStopFFmpegProcess(); }
void CapmillEngine::PauseRecording() { qelPauseRecording(); }
void CapmillEngine::ResumeRecording() { qelResumeRecording(); }
bool CapmillEngine::IsRecordingPaused() { return qelIsRecordingPaused(); }
void* CapmillEngine::GetGlobalTimer() { return qelGetGlobalTimer(); }
void CapmillEngine::SetSystemMonitoringEnabled(bool enabled) { qelSetSystemMonitoringEnabled(enabled); }
void CapmillEngine::SetDynamicLimitsEnabled(bool enabled) { qelSetDynamicLimitsEnabled(enabled); }
int CapmillEngine::GetAvailableMicrophones(char* names[], int maxNames) {
  return qelGetAvailableMicrophones(names, maxNames);
}
int CapmillEngine::GetAvailableCameras(char* names[], int maxNames) { return qelGetAvailableCameras(names, maxNames); }
void CapmillEngine::FreeDeviceList(char* names[], int count) { qelFreeDeviceList(names, count); }
std::string CapmillEngine::GetDefaultAudioDeviceNameAsString() { return qelGetDefaultAudioDeviceNameAsString(); }
std::string CapmillEngine::GetRecordingStopReason() {
  const int length = qelGetRecordingStopReason(nullptr, 0);
  if (length <= 0) return "";
  std::string reason(static_cast<size_t>(length) + 1, '\0');
  qelGetRecordingStopReason(reason.data(), length + 1);
  reason.resize(static_cast<size_t>(length));
  return reason;
}
std::vector<std::string> CapmillEngine::RecoverUnfinishedRecordings() {
  std::vector<std::string> recovered;
  qelRecoverUnfinishedRecordings(
      [](const char*, const char* path, long, void* list) {
        static_cast<std::vector<std::string>*>(list)->push_back(path);
      },
      &recovered);
  return recovered;
}

void CapmillEngine::RecordScreen(const char* outputPath) { qelRecordScreen(outputPath); }
void CapmillEngine::RecordScreenWithAudio(const char* outputPath, const char* audioInput) {
  qelRecordScreenWithAudio(outputPath, audioInput);
}
void CapmillEngine::RecordAndStreamDesktopOne(const char* audioInput, const char* outputPath, const char* url) {
  qelRecordAndStreamDesktopOne(audioInput, outputPath, url);
}
void CapmillEngine::RecordAndStreamDesktop(const char* outputPath, const char* audioInput, const char* urls[],
                                           int count) {
  qelRecordAndStreamDesktop(outputPath, audioInput, urls, count);
}

void CapmillEngine::RecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput, const char* musicPath,
                                                  int volume) {
  qelRecordScreenWithAudioAndMusic(outputPath, audioInput, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath,
                                                       const char* url, const char* musicPath, int volume) {
  qelRecordAndStreamDesktopOneWithMusic(audioInput, outputPath, url, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput, const char* urls[],
                                                    int count, const char* musicPath, int volume) {
  qelRecordAndStreamDesktopWithMusic(outputPath, audioInput, urls, count, musicPath, volume);
}
void CapmillEngine::RecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath,
                                                                        const char* audioInput,
                                                                        const char* musicPath, int volume) {
  qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(outputPath, audioInput, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath,
                                                                  const char* url, const char* musicPath,
                                                                  int volume) {
  qelRecordAndStreamDesktopOneWithMusicAndPlayback(audioInput, outputPath, url, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput,
                                                               const char* urls[], int count, const char* musicPath,
                                                               int volume) {
  qelRecordAndStreamDesktopWithMusicAndPlayback(outputPath, audioInput, urls, count, musicPath, volume);
}


void CapmillEngine::RecordScreenWithAudioSeparate(const char* outputPath, const char* audioInput) {
  qelRecordScreenWithAudioSeparate(outputPath, audioInput);
}
void CapmillEngine::RecordScreenWithAudioAndMusicSeparate(const char* outputPath, const char* audioInput,
                                                          const char* musicPath, int volume) {
  qelRecordScreenWithAudioAndMusicSeparate(outputPath, audioInput, musicPath, volume);
}
void CapmillEngine::RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* outputPath,
                                                                                const char* audioInput,
                                                                                const char* musicPath, int volume) {
  qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(outputPath, audioInput, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopOneSeparate(const char* audioInput, const char* outputPath, const char* url) {
  qelRecordAndStreamDesktopOneSeparate(audioInput, outputPath, url);
}
void CapmillEngine::RecordAndStreamDesktopOneWithMusicSeparate(const char* audioInput, const char* outputPath,
                                                               const char* url, const char* musicPath, int volume) {
  qelRecordAndStreamDesktopOneWithMusicSeparate(audioInput, outputPath, url, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audioInput,
                                                                          const char* outputPath, const char* url,
                                                                          const char* musicPath, int volume) {
  qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(audioInput, outputPath, url, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopSeparate(const char* outputPath, const char* audioInput, const char* urls[],
                                                   int count) {
  qelRecordAndStreamDesktopSeparate(outputPath, audioInput, urls, count);
}
void CapmillEngine::RecordAndStreamDesktopWithMusicSeparate(const char* outputPath, const char* audioInput,
                                                            const char* urls[], int count, const char* musicPath,
                                                            int volume) {
  qelRecordAndStreamDesktopWithMusicSeparate(outputPath, audioInput, urls, count, musicPath, volume);
}
void CapmillEngine::RecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* outputPath, const char* audioInput,
                                                                       const char* urls[], int count,
                                                                       const char* musicPath, int volume) {
  qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate(outputPath, audioInput, urls, count, musicPath, volume);
}

}  // namespace orvex
