// Turns the main window's options into one blocking engine call on a worker
// thread, and runs what comes before and after it: the checks and window
// changes, the output file's name, pause and resume, the stop and the
// tidying. All methods run on the user-interface thread.
#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/OutputPath.h"
#include "core/RecordingPlan.h"
#include "core/Settings.h"
#include "features/EventLog.h"

class QTimer;

namespace orvex {

class Notifier;
class RegistryStore;

// Everything a worker needs, taken on the user-interface thread at the start.
struct RecordingSnapshot {
  RecordingOptions options;  // streaming: "Enable Video Streaming"; outputPath is filled in later
  OutputPathOptions path;
  int screenWidth = 0, screenHeight = 0;
  bool scheduledNoStream = false;  // a scheduled recording that must not stream
  bool scheduled = false;          // a scheduled recording runs
};

// The end of one recording's engine call, when its file is complete. Other
// threads wait for it (the cloud copy) without holding the worker.
class RecordingCompletion {
 public:
  void MarkDone();
  // True once done; false when `stop` was set first.
  bool Wait(const std::atomic<bool>& stop);

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool done_ = false;
};

// What the controller asks of the main window.
class RecordingHost {
 public:
  virtual ~RecordingHost() = default;
  // Pulls the controls into the fields and returns the options.
  virtual RecordingSnapshot TakeSnapshot() = 0;
  // The small-camera question before a start.
  virtual void ConfirmCameraSize() = 0;
  virtual bool PlaybackTicked() const = 0;
  virtual bool StreamingTicked() const = 0;
  virtual void SaveMainSettings() = 0;
  // Button caption and colour, the camera size edit, the music controls.
  virtual void ShowRecordingState(bool recording) = 0;
  virtual void SetStatusPane(int pane, const std::string& text) = 0;
  virtual void UpdateSystemStats() = 0;
  // Thread safe: workers log their start event through it.
  virtual void LogEvent(EventType type, const std::string& description, const std::string& details) = 0;
  virtual void ApplyRecordingDefaults(const RecordingDefaults& defaults) = 0;
  // A stop of the schedule's own recording: books the file to its entry and
  // logs the scheduled stop. False when no scheduled recording runs.
  virtual bool BookScheduledStop(const std::string& path) = 0;
  // Puts a stopped recording at the top of the recent list.
  virtual void RememberRecording(const std::string& path) = 0;
  // The camera and brand overlays as a recording starts (shown by their
  // rules) or stops (hidden).
  virtual void ShowOverlaysForRecording(bool recording) = 0;
  // The floating toolbar, if it exists: its buttons follow the state. It is
  // hidden while a recording runs (off the screen when this returns, so the
  // next frame cannot hold it) and shown while the recording is paused.
  virtual void UpdateToolbar(bool recording, bool paused) = 0;
  // After a stop, with the toolbar option on: made if missing, then shown idle.
  virtual void ShowToolbarAfterStop() = 0;
  // The cloud copy of a stopped recording, on a worker of its own; `recording`
  // completes when the engine has finished the file (nothing: none ran).
  virtual void StartCloudAutoSave(const std::string& path, std::shared_ptr<RecordingCompletion> recording) = 0;
  // Starts the program anew to record there, and closes this instance.
  virtual void RestartApplication() = 0;
};

class RecordingController : public QObject {
  Q_OBJECT

 public:
  RecordingController(RecordingHost& host, RecordingEngine& engine, RegistryStore& store, Notifier& notifier);
  // Stops and waits for every worker: a running thread must not be destroyed.
  ~RecordingController() override;
  Q_DISABLE_COPY_MOVE(RecordingController)

  void BeginRecording();
  void StopRecording();
  void TogglePause();
  // A recording runs, or waits for the previous file to be finished. Safe
  // from any thread.
  bool IsRecording() const;
  // Stops nothing; waits (events still flow) until every worker has ended.
  bool WaitForWorkers(int timeoutMs);
  bool AnyWorkerAlive() const;

  bool paused() const { return paused_; }
  bool streamingActive() const { return streamingActive_; }
  bool trayIdle() const { return trayIdle_; }
  bool recordedThisSession() const { return recordedThisSession_; }
  const std::string& actualOutputFile() const { return actualOutputFile_; }
  // Milliseconds since the start, pauses included; 0 when idle.
  qint64 ElapsedMs() const;
  bool startedFromBackground = false;
  std::string testStreamUrl = kTestStreamUrl;

 signals:
  // The engine call of a recording has returned: its file is complete.
  void RecordingFinished(const QString& path);

 private:
  struct Job;
  class Worker;
  void StartWorker(std::shared_ptr<Job> job);
  void RunJob(const Job& job);
  void OnWorkerFinished(Worker* worker);
  void Watch();
  void ApplyEncoderSettings();

  RecordingHost& host_;
  RecordingEngine& engine_;
  RegistryStore& store_;
  Notifier& notifier_;
  // Guards current_ and pending_ for IsRecording on other threads; changed
  // only on the user-interface thread.
  mutable std::mutex stateLock_;
  Worker* current_ = nullptr;        // the running recording's worker
  std::vector<Worker*> stopping_;     // stopped, still finishing their file
  std::shared_ptr<Job> pending_;      // waits for the stopping workers
  QTimer* watch_ = nullptr;
  bool paused_ = false;
  bool clockSeen_ = false;
  bool streamingActive_ = false;
  bool trayIdle_ = true;
  bool recordedThisSession_ = false;
  qint64 startMs_ = 0;
  std::string actualOutputFile_;
};

}  // namespace orvex
