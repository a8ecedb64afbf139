// The exported functions: thin wrappers that convert arguments, call into the
// engine and never let an exception cross the boundary.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "capmill/capmill.h"
#include "platform/Log.h"
#include "src/DeviceEnumeration.h"
#include "src/ExportSupport.h"
#include "src/EngineState.h"
#include "src/StreamResults.h"
#include "src/ExternalProcess.h"
#include "src/MusicOutput.h"
#include "src/PellamCapmill.h"
#include "src/RecordingJournal.h"
#include "src/ResourceMonitor.h"

using namespace capmill;
using namespace capmill::exports;

namespace {

// The frame of a streaming entry point with music, whose operation runs on
// a thread of its own.
template <typename Operation>
void StreamWithMusic(const StreamFrameTexts& frame, const char* audioInput, const char* outputPath,
                     const char* streamUrl, const char* const* streamUrls, int urlCount, const char* musicPath,
                     int musicVolumePercent, Operation operation) {
  const std::string mic = Text(audioInput), path = Text(outputPath), music = Text(musicPath);
  const bool one = streamUrls == nullptr;
  const std::string parameters =
      "[DEBUG] Parameters - Mic: " + mic + ", MP4: " + path +
      (one ? ", Stream: " + Text(streamUrl) : ", Multiple Stream URL Count: " + std::to_string(urlCount)) +
      ", Music: " + music + ", Volume: " + std::to_string(musicVolumePercent) + "%";
  StreamFrame(frame, one, parameters, [&] {
    PellamCapmill session = PellamCapmill::FromEngine(path);
    operation(session, mic, music);
  });
}

}  // namespace

extern "C" {

CAPMILL_API void qelsetFrameRate(int fps) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().frameRateText = std::to_string(fps);
}
CAPMILL_API void qelSetCrf(int crf) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().crfText = std::to_string(crf);
}
CAPMILL_API void qelSetVideoRes(int width, int height) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().outputWidth = width;
  Engine().outputHeight = height;
}
CAPMILL_API void qelSetAudioDelay(int milliseconds) {
  Engine().audioDelayConfiguredMs = milliseconds;
  Engine().audioDelayCurrentMs = milliseconds;
}
CAPMILL_API void qelSetMusicVolume(int percent) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().musicVolume = std::clamp(percent / 100.0, 0.0, 1.0);
}
CAPMILL_API void qelSetStreamingErrorCallback(void*) {}

CAPMILL_API void qelStopRecording(void) { Engine().stopRequested = true; }
CAPMILL_API void qelPauseRecording(void) { PauseRecording(); }
CAPMILL_API void qelResumeRecording(void) { ResumeRecording(); }
CAPMILL_API bool qelIsRecordingPaused(void) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().paused;
}
CAPMILL_API void* qelGetGlobalTimer(void) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().activeClock;
}
CAPMILL_API int qelGetRecordingStopReason(char* buffer, int size) {
  try {
    const std::string reason = LastStopReason();
    if (buffer && size > 0) {
      const size_t length = std::min(reason.size(), static_cast<size_t>(size - 1));
      std::memcpy(buffer, reason.data(), length);
      buffer[length] = '\0';
    }
    return static_cast<int>(reason.size());
  } catch (...) {
    return 0;
  }
}

CAPMILL_API int qelGetStreamResult(int index, double* sentSeconds, double* failedAtSeconds, char* reason, int size) {
  try {
    StreamResult result;
    if (!GetStreamResult(index, result)) return -1;
    if (sentSeconds) *sentSeconds = result.SentSeconds();
    if (failedAtSeconds) *failedAtSeconds = result.failed ? result.failedAtSeconds : 0;
    if (reason && size > 0) {
      const std::string text = result.failed ? result.reason : "";
      const size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
      std::memcpy(reason, text.data(), length);
      reason[length] = '\0';
    }
    return result.failed ? 0 : 1;
  } catch (...) {
    return -1;
  }
}

CAPMILL_API void qelRecordScreen(const char* outputPath) {
  RecordingSlot slot("qelRecordScreen");
  if (!slot) return;
  Guarded([&] {
    const std::string path = Text(outputPath);
    PellamCapmill::FromEngine(path).RecVideo();
  });
}

CAPMILL_API void qelRecordScreenWithAudio(const char* outputPath, const char* audioInput) {
  RecordingSlot slot("qelRecordScreenWithAudio");
  if (!slot) return;
  Guarded([&] {
    const std::string path = Text(outputPath);
    PellamCapmill::FromEngine(path).RecAudioVideo(Text(audioInput));
  });
}

CAPMILL_API void qelRecordAndStreamDesktopOne(const char* audioInput, const char* outputPath, const char* streamUrl) {
  RecordingSlot slot("qelRecordAndStreamDesktopOne");
  if (!slot) return;
  Guarded([&] {
    const std::string mic = Text(audioInput), path = Text(outputPath), url = Text(streamUrl);
    OutAndDebug("[DEBUG] qelRecordAndStreamDesktopOne: Starting single URL streaming...");
    // The parameter line goes to standard output only.
    log::OutLine("[DEBUG] Parameters - Mic: " + mic + ", MP4: " + path + ", Stream: " + url);
    OutAndDebug("[DEBUG] Starting file recording with PellamCapmill...");
    PellamCapmill session = PellamCapmill::FromEngine(path);
    OnOwnThread([&] { session.RecAndStreamAudioVideo(mic, url); });
    OutAndDebug("[DEBUG] qelRecordAndStreamDesktopOne: Recording and streaming completed");
  });
}

CAPMILL_API void qelRecordAndStreamDesktop(const char* outputPath, const char* audioInput, const char* streamUrls[],
                                           int urlCount) {
  RecordingSlot slot("qelRecordAndStreamDesktop");
  if (!slot) return;
  Guarded([&] {
    const std::string mic = Text(audioInput), path = Text(outputPath);
    OutAndDebug("[DEBUG] qelRecordAndStreamDesktop: Starting Multiple URL streaming...");
    log::OutLine("[DEBUG] Parameters - Mic: " + mic + ", MP4: " + path +
                 ", Multiple Stream URL Count: " + std::to_string(urlCount));
    OutAndDebug("[DEBUG] Starting file recording with PellamCapmill...");
    PellamCapmill session = PellamCapmill::FromEngine(path);
    OnOwnThread([&] { session.RecAndStreamAudioVideoEx(mic, streamUrls, urlCount); });
    OutAndDebug("[DEBUG] qelRecordAndStreamDesktop: Recording and streaming to Multiple URL EndPoint completed");
  });
}

CAPMILL_API void qelRecordScreenWithAudioAndMusic(const char* outputPath, const char* audioInput,
                                                  const char* musicPath, int musicVolumePercent) {
  RecordingSlot slot("qelRecordScreenWithAudioAndMusic");
  if (!slot) return;
  Guarded([&] {
    const std::string path = Text(outputPath);
    PellamCapmill::FromEngine(path).RecAudioVideoWithMusic(Text(audioInput), Text(musicPath), musicVolumePercent);
  });
}

CAPMILL_API void qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* outputPath,
                                                                        const char* audioInput,
                                                                        const char* musicPath,
                                                                        int musicVolumePercent) {
  RecordingSlot slot("qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback");
  if (!slot) return;
  Guarded([&] {
    const std::string path = Text(outputPath);
    PellamCapmill::FromEngine(path).RecAudioVideoWithMusicEx(Text(audioInput), Text(musicPath), musicVolumePercent);
  });
}

CAPMILL_API void qelRecordAndStreamDesktopOneWithMusic(const char* audioInput, const char* outputPath,
                                                       const char* streamUrl, const char* musicPath,
                                                       int musicVolumePercent) {
  StreamWithMusic({"qelRecordAndStreamDesktopOneWithMusic", " with background music"}, audioInput, outputPath,
                  streamUrl, nullptr, 0, musicPath, musicVolumePercent,
                  [&](PellamCapmill& session, const std::string& mic, const std::string& music) {
                    session.RecAndStreamAudioVideoWithMusic(mic, Text(streamUrl), music, musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopWithMusic(const char* outputPath, const char* audioInput,
                                                    const char* streamUrls[], int urlCount, const char* musicPath,
                                                    int musicVolumePercent) {
  StreamWithMusic({"qelRecordAndStreamDesktopWithMusic", " with background music"}, audioInput, outputPath,
                  nullptr, streamUrls, urlCount, musicPath, musicVolumePercent,
                  [&](PellamCapmill& session, const std::string& mic, const std::string& music) {
                    session.RecAndStreamAudioVideoExWithMusic(mic, streamUrls, urlCount, music, musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopOneWithMusicAndPlayback(const char* audioInput, const char* outputPath,
                                                                  const char* streamUrl, const char* musicPath,
                                                                  int musicVolumePercent) {
  StreamWithMusic({"qelRecordAndStreamDesktopOneWithMusicAndPlayback", " with background music and playback device"},
                  audioInput, outputPath, streamUrl, nullptr, 0, musicPath, musicVolumePercent,
                  [&](PellamCapmill& session, const std::string& mic, const std::string& music) {
                    session.RecAndStreamAudioVideoWithMusicAndPlayback(mic, Text(streamUrl), music,
                                                                       musicVolumePercent);
                  });
}

CAPMILL_API void qelRecordAndStreamDesktopWithMusicAndPlayback(const char* outputPath, const char* audioInput,
                                                               const char* streamUrls[], int urlCount,
                                                               const char* musicPath, int musicVolumePercent) {
  StreamWithMusic({"qelRecordAndStreamDesktopWithMusicAndPlayback", " with background music and playback device"},
                  audioInput, outputPath, nullptr, streamUrls, urlCount, musicPath, musicVolumePercent,
                  [&](PellamCapmill& session, const std::string& mic, const std::string& music) {
                    session.RecAndStreamAudioVideoExWithMusicAndPlayback(mic, streamUrls, urlCount, music,
                                                                         musicVolumePercent);
                  });
}

CAPMILL_API void qelPlayMusicToDefaultDevice(const char* musicPath, int volumePercent,
                                             qelKeepRunningCallback keepRunning, void* context) {
  Guarded([&] { PlayMusicToDefaultDevice(musicPath, volumePercent, keepRunning, context); });
}

CAPMILL_API void qelStopFFmpegProcess(void) {
  Guarded([] { StopExternalProcess(); });
}

CAPMILL_API int qelRecoverUnfinishedRecordings(qelRecoveredCallback report, void* context) {
  try {
    return RecoverUnfinishedRecordings([&](const RecoveredRecording& recording) {
      if (report) report(recording.original.c_str(), recording.recovered.c_str(), recording.packets, context);
    });
  } catch (...) {
    return 0;
  }
}

CAPMILL_API void qelSetSystemMonitoringEnabled(bool enabled) { Monitor().SetMonitoringEnabled(enabled); }
CAPMILL_API void qelSetDynamicLimitsEnabled(bool enabled) { Monitor().SetDynamicLimitsEnabled(enabled); }
CAPMILL_API void qelSetMaxMemoryUsage(uint64_t bytes) { Monitor().SetMaxMemory(bytes); }
CAPMILL_API void qelSetMaxCpuUsage(double percent) { Monitor().SetMaxCpu(percent); }
CAPMILL_API bool qelCheckSystemResources(void) { return Monitor().Check(); }
CAPMILL_API bool qelCheckMemoryUsage(void) { return Monitor().MemoryWithinLimit(); }
CAPMILL_API int qelGetAdaptiveQualityLevel(void) { return Monitor().Level(); }
CAPMILL_API double qelGetSystemCpuUsagePercent(void) { return Monitor().CpuPercent(); }
CAPMILL_API double qelGetSystemMemoryUsagePercent(void) { return Monitor().MemoryPercent(); }

CAPMILL_API int qelGetAvailableMicrophones(char* names[], int maxNames) {
  try {
    return FillDeviceList(MicrophoneNames(platform::QueryAudioSources()), names, maxNames);
  } catch (...) {
    return 0;
  }
}

CAPMILL_API int qelGetAvailableCameras(char* names[], int maxNames) {
  try {
    return FillDeviceList(CameraNames(platform::QueryCameras()), names, maxNames);
  } catch (...) {
    return 0;
  }
}

CAPMILL_API void qelFreeDeviceList(char* names[], int count) { FreeDeviceList(names, count); }

CAPMILL_API char* qelGetDefaultAudioDeviceName(void) {
  try {
    const std::string text = DefaultAudioDeviceText(platform::QueryAudioSources());
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
  } catch (...) {
    return nullptr;
  }
}

}  // extern "C"

CAPMILL_API std::string qelGetDefaultAudioDeviceNameAsString() {
  try {
    return DefaultAudioDeviceText(platform::QueryAudioSources());
  } catch (...) {
    return "audio=";
  }
}
