// What the exported entry points share: argument conversion, the one-
// recording-at-a-time slot, the guard that keeps exceptions inside the
// library, and the report lines around a streaming recording.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "platform/Log.h"
#include "src/EngineState.h"

namespace capmill::exports {

inline std::string Text(const char* text) { return text ? text : ""; }

inline void OutAndDebug(const std::string& line) {
  log::OutLine(line);
  log::Debug(line + "\n");
}

// Only one recording runs at a time: a second entry point call would share
// the first one's file, clock and flags and corrupt it.
inline std::atomic<bool> recordingRunning{false};

class RecordingSlot {
 public:
  explicit RecordingSlot(const char* exportName) : taken_(!recordingRunning.exchange(true)) {
    if (taken_) ClearStopReason();
    if (!taken_) {
      const std::string line = std::string(exportName) + ": a recording is already running; call refused";
      log::ErrLine(line);
      log::Debug(line + "\n");
    }
  }
  ~RecordingSlot() {
    if (taken_) recordingRunning = false;
  }
  RecordingSlot(const RecordingSlot&) = delete;
  RecordingSlot& operator=(const RecordingSlot&) = delete;
  explicit operator bool() const { return taken_; }

 private:
  bool taken_;
};

template <typename Body>
void Guarded(Body body) {
  try {
    body();
  } catch (const std::exception& error) {
    log::ErrLine(std::string("Unexpected engine error: ") + error.what());
  } catch (...) {
    log::ErrLine("Unexpected engine error");
  }
}

// Runs the operation on a thread of its own and waits for it.
template <typename Body>
void OnOwnThread(Body body) {
  std::thread([&body] { Guarded(body); }).join();
}

// What a streaming entry point says around its operation.
struct StreamFrameTexts {
  const char* exportName;
  const char* withWhat;  // " with background music", ...
};

// The start line, the parameter line (none when empty), the operation and
// the completion lines of a streaming entry point, one URL or a list.
// Without a parameter line the operation runs on the caller's thread and an
// error escaping it is reported as the export's own, without completion lines.
template <typename Body>
void StreamFrame(const StreamFrameTexts& frame, bool oneUrl, const std::string& parameterLine, Body body) {
  RecordingSlot slot(frame.exportName);
  if (!slot) return;
  const std::string name = std::string("[DEBUG] ") + frame.exportName + ": ";
  Guarded([&] {
    OutAndDebug(name + (oneUrl ? "Starting single URL streaming" : "Starting Multiple URL streaming") +
                frame.withWhat + "...");
    if (!parameterLine.empty()) log::OutLine(parameterLine);
    OutAndDebug("[DEBUG] Starting file recording with PellamCapmill...");
    if (!parameterLine.empty()) {
      OnOwnThread(body);
    } else {
      try {
        body();
      } catch (const std::exception& error) {
        const std::string line = std::string("[ERROR] ") + frame.exportName + ": " + error.what();
        log::ErrLine(line);
        log::Debug(line + "\n");
        return;
      }
    }
    if (oneUrl) {
      OutAndDebug(name + "Recording and streaming" + frame.withWhat + " completed");
    } else {
      log::OutLine(name + "Recording and streaming to Multiple URL EndPoint" + frame.withWhat + " completed");
      log::Debug(name + "Recording and streaming to Multiple URL Endpoint" + frame.withWhat + " completed\n");
    }
  });
}

}  // namespace capmill::exports
