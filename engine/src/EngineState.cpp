#include "src/EngineState.h"

#include <chrono>

extern "C" {
#include <libavutil/time.h>
}

#include "platform/Log.h"

namespace capmill {

int64_t NowTicks() {
  using namespace std::chrono;
  return duration_cast<duration<int64_t, std::ratio<1, 10000000>>>(steady_clock::now().time_since_epoch())
      .count();
}

EngineState& Engine() {
  static EngineState state;
  return state;
}

void ResetRecordingTiming() {
  EngineState& engine = Engine();
  int delayMs;
  {
    std::lock_guard<std::mutex> hold(engine.lock);
    engine.activeClock = nullptr;
    delayMs = engine.audioDelayConfiguredMs.load();
    engine.audioDelayCurrentMs = delayMs;
    engine.paused = false;
    engine.resumedAtWallUs = 0;
  }
  const std::string line = log::Format(
      256, "Timing reset for new recording: Global timer cleared, audio delay reset to %dms, paused state cleared\n",
      delayMs);
  log::Write(log::Sink::StdErr, line);
  log::Debug(line);
}

void PauseRecording() {
  EngineState& engine = Engine();
  std::lock_guard<std::mutex> hold(engine.lock);
  engine.paused = true;
  if (engine.activeClock && !engine.activeClock->isPaused) {
    engine.activeClock->pauseStart = NowTicks();
    engine.activeClock->isPaused = true;
  }
}

void ResumeRecording() {
  EngineState& engine = Engine();
  std::lock_guard<std::mutex> hold(engine.lock);
  if (engine.paused) engine.resumedAtWallUs = av_gettime();
  engine.paused = false;
  if (engine.activeClock && engine.activeClock->isPaused) {
    engine.activeClock->isPaused = false;
    engine.activeClock->pausedTotalMs += (NowTicks() - engine.activeClock->pauseStart) / kTicksPerMs;
  }
}

bool RecordingPaused() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().paused;
}

bool RecordingClockActive() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().activeClock != nullptr;
}

std::optional<int64_t> RecordingTimeMs() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  const RecordingClock* clock = Engine().activeClock;
  if (!clock) return std::nullopt;
  return (NowTicks() - clock->start) / kTicksPerMs - clock->pausedTotalMs;
}

void StopRecordingFor(const std::string& cause, const std::string& path) {
  const int64_t ms = RecordingTimeMs().value_or(0);
  const std::string line =
      log::Format(4096, "%s: recording stopped after %02lld:%02lld; the file keeps what was written: %s",
                  cause.c_str(), static_cast<long long>(ms / 60000), static_cast<long long>(ms / 1000 % 60),
                  path.c_str());
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    if (!Engine().stopReason.empty()) return;
    Engine().stopReason = line;
  }
  Engine().stopRequested = true;
  log::ErrLine(line);
  log::Debug(line + "\n");
}

std::string LastStopReason() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().stopReason;
}

void ClearStopReason() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().stopReason.clear();
}

}  // namespace capmill
