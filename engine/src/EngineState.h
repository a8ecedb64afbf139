// The process-wide engine state shared by the exports, the recording
// operations and the capture threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct AVFormatContext;

namespace capmill {

class StreamTarget;
class ResourceMonitor;
class OutputFile;

// Wall-clock time of a recording in 100-ns ticks. Fields change only under
// EngineLock; the video thread reads them without it (a frame stamped during a
// resume may see either pausedTotalMs).
struct RecordingClock {
  int64_t start = 0;
  int64_t pauseStart = 0;
  int64_t pausedTotalMs = 0;
  bool isPaused = false;
};

// Current time in 100-ns ticks. A monotonic clock, so a change of the system
// time during a recording cannot make timestamps jump.
int64_t NowTicks();
constexpr int64_t kTicksPerMs = 10000;

// The audio delay a recording starts with. It is what makes up for the
// capture device's own buffering: the audio track is placed by the capture
// times the device reports, shifted by this much, so that at the default the
// sound and the picture of one moment meet, and a larger delay moves the
// picture later against the sound.
constexpr int kDefaultAudioDelayMs = 500;

struct EngineState {
    // Set by the exports, read at the start of a recording; under lock.
  std::string frameRateText = "10";
  std::string crfText = "30";
  int outputWidth = 640;
  int outputHeight = 480;

  std::atomic<int> audioDelayConfiguredMs{kDefaultAudioDelayMs};
  std::atomic<int> audioDelayCurrentMs{kDefaultAudioDelayMs};
  std::atomic<bool> stopRequested{false};

  // Everything below is guarded by lock (EngineLock).
  std::mutex lock;
  double musicVolume = 0.3;
  bool paused = false;
  // Wall-clock microseconds (av_gettime) of the last resume from a pause, 0
  // before any: a screen picture grabbed earlier belongs to the pause.
  int64_t resumedAtWallUs = 0;
  RecordingClock* activeClock = nullptr;
  int adaptiveQualityLevel = 0;
  // The container the inputs of the current recording share: a non-owning
  // alias of sharedFile, which the inputs own.
  AVFormatContext* sharedOutput = nullptr;
  std::weak_ptr<OutputFile> sharedFile;
  StreamTarget* primaryStreamTarget = nullptr;
  std::vector<StreamTarget*> streamTargets;
  // Why the engine itself ended the last recording early ("" when it ended
  // as asked).
  std::string stopReason;
};

// The one engine state of the process.
EngineState& Engine();

// Begins every recording: clears the active clock and the pause flag and
// re-arms the configured audio delay.
void ResetRecordingTiming();

// Pause and resume of the active clock, under EngineLock.
void PauseRecording();
void ResumeRecording();

// Under EngineLock: whether the recording is paused; whether a recording
// clock is active.
bool RecordingPaused();
bool RecordingClockActive();

// Milliseconds since the active recording clock started, completed pauses
// left out; nullopt while no clock is active.
std::optional<int64_t> RecordingTimeMs();

// Ends the running recording for a cause the user did not choose (a full
// disk, a lost screen): both capture threads stop as at a stop request and
// finish what they have. cause: "Disk full", "Low disk space", a system error
// text...; path: the file that keeps what was written. The first cause of a
// recording is the one reported, once, on standard error and the debug
// channel: "<cause>: recording stopped after MM:SS; the file keeps what was
// written: <path>".
void StopRecordingFor(const std::string& cause, const std::string& path);
// The report of the last recording's cause, or "".
std::string LastStopReason();
// A new recording begins: no cause yet.
void ClearStopReason();

}  // namespace capmill
