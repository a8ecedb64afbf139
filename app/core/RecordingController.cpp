#include "core/RecordingController.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "platform/DebugChannel.h"
#include "platform/Notifier.h"
#include "platform/RegistryStore.h"

namespace orvex {

namespace {

constexpr int kWatchPeriodMs = 100;
constexpr int kBalloonMs = 15000;
constexpr char kNotAvailable[] = "Not available in this version: ";
constexpr char kEndedUnexpectedly[] = "Recording ended unexpectedly";
constexpr char kTestUrlWarning[] = "Warning: Using test streaming URL";

qint64 NowMs() {
  static QElapsedTimer clock = [] {
    QElapsedTimer started;
    started.start();
    return started;
  }();
  return clock.elapsed() + 1;  // never 0: 0 means idle
}

// Keeps the wait cursor up for the scope of a stop.
struct WaitCursor {
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void RecordingCompletion::MarkDone() {
  std::lock_guard<std::mutex> guard(lock_);
  done_ = true;
  changed_.notify_all();
}

bool RecordingCompletion::Wait(const std::atomic<bool>& stop) {
  std::unique_lock<std::mutex> guard(lock_);
  while (!done_ && !stop) changed_.wait_for(guard, std::chrono::milliseconds(100));
  return done_;
}

struct RecordingController::Job {
  EngineCall call;
  std::shared_ptr<RecordingCompletion> completion = std::make_shared<RecordingCompletion>();
  bool scheduled = false;
  int width = 0, height = 0;
};

class RecordingController::Worker : public QThread {
 public:
  Worker(std::shared_ptr<Job> job, std::function<void(const Job&)> body, QObject* parent)
      : QThread(parent), job_(std::move(job)), body_(std::move(body)) {}
  const Job& job() const { return *job_; }

 protected:
  void run() override {
    body_(*job_);
    job_->completion->MarkDone();
  }

 private:
  std::shared_ptr<Job> job_;
  std::function<void(const Job&)> body_;
};

RecordingController::RecordingController(RecordingHost& host, RecordingEngine& engine, RegistryStore& store,
                                         Notifier& notifier)
    : host_(host), engine_(engine), store_(store), notifier_(notifier) {
  watch_ = new QTimer(this);
  watch_->setInterval(kWatchPeriodMs);
  connect(watch_, &QTimer::timeout, this, &RecordingController::Watch);
}

RecordingController::~RecordingController() {
  if (!AnyWorkerAlive()) return;
  engine_.StopRecording();
  for (Worker* worker : stopping_) worker->wait();
  if (current_) current_->wait();
}

bool RecordingController::IsRecording() const {
  std::lock_guard<std::mutex> guard(stateLock_);
  return pending_ || (current_ && !current_->isFinished());
}

bool RecordingController::AnyWorkerAlive() const {
  if (current_ && !current_->isFinished()) return true;
  for (const Worker* worker : stopping_)
    if (!worker->isFinished()) return true;
  return false;
}

qint64 RecordingController::ElapsedMs() const { return startMs_ == 0 ? 0 : NowMs() - startMs_; }

void RecordingController::BeginRecording() {
  if (IsRecording()) return;
  RecordingSnapshot snapshot = host_.TakeSnapshot();
  RecordingOptions& options = snapshot.options;
  // A second recording with playback to the speakers loses sync in one
  // process: a new instance records it instead.
  if (host_.PlaybackTicked() && recordedThisSession_) {
    DebugOutput("Playback device enabled and subsequent recording detected - restarting application to fix sync issues\n");
    host_.SaveMainSettings();
    host_.RestartApplication();
    return;
  }
  options.testStreamUrl = testStreamUrl;
  if (snapshot.scheduledNoStream && options.streaming) {
    DebugOutput("Streaming disabled: Scheduled recording is active and 'Do not stream with scheduled recording' is enabled\n");
    options.streaming = false;
  }
  auto job = std::make_shared<Job>();
  job->call = PlanRecording(options);
  // A combination the engine cannot record changes nothing.
  if (!engine_.IsAvailable(job->call.entry)) {
    host_.SetStatusPane(1, kNotAvailable + OptionCaption(job->call.entry));
    return;
  }
  startedFromBackground = false;
  host_.ConfirmCameraSize();
  // A folder the store cannot give back (missing, or over 99 characters) means the user may not see where it goes.
  if (const auto folder = Settings(store_).ReadText("FolderPath"); !folder || folder->size() > 99)
    notifier_.ShowBalloon("Orvex", "Recording running in background..", Notifier::Icon::None, kBalloonMs);

  trayIdle_ = false;
  host_.ShowRecordingState(true);
  engine_.ResumeRecording();  // clears a pause left in the engine
  paused_ = false;
  // Off the screen before the first frame is taken.
  host_.UpdateToolbar(true, false);
  clockSeen_ = false;
  startMs_ = NowMs();
  engine_.SetSystemMonitoringEnabled(true);

  job->call.outputPath = ComposeOutputPath(snapshot.path, QDateTime::currentDateTime());
  actualOutputFile_ = job->call.outputPath;
  job->scheduled = snapshot.scheduled;
  job->width = snapshot.screenWidth;
  job->height = snapshot.screenHeight;
  if (job->call.streaming) {
    host_.SetStatusPane(3, "Streaming: Active");
    streamingActive_ = true;
  } else {
    engine_.SetDynamicLimitsEnabled(true);
    host_.SetStatusPane(3, "Streaming: Recording Only");
    streamingActive_ = false;
  }
  // The engine runs one recording at a time: a start while the previous file
  // is being finished waits for it, without blocking the window.
  if (AnyWorkerAlive()) {
    std::lock_guard<std::mutex> guard(stateLock_);
    pending_ = job;
  } else {
    StartWorker(job);
  }

  host_.SaveMainSettings();
  if (options.playback && options.musicEnabled && !options.musicPath.empty())
    host_.LogEvent(BackgroundMusicStarted, "Background music started", options.musicPath);
  if (job->call.streaming) host_.LogEvent(StreamingStarted, "Streaming started", "");
  host_.ShowOverlaysForRecording(true);
  host_.UpdateToolbar(true, false);
  host_.SetStatusPane(0, "Recording...");
  host_.SetStatusPane(1, "");
  host_.UpdateSystemStats();
}

void RecordingController::StartWorker(std::shared_ptr<Job> job) {
  auto* worker = new Worker(std::move(job), [this](const Job& running) { RunJob(running); }, this);
  {
    std::lock_guard<std::mutex> guard(stateLock_);
    current_ = worker;
  }
  connect(worker, &QThread::finished, this, [this, worker] { OnWorkerFinished(worker); }, Qt::QueuedConnection);
  worker->start(QThread::TimeCriticalPriority);
  watch_->start();
}

// On the worker thread: no widget is touched here.
void RecordingController::RunJob(const Job& job) {
  const EngineCall& call = job.call;
  if (job.scheduled) host_.LogEvent(ScheduleRecordingStarted, "Scheduled recording started", call.outputPath);
  else host_.LogEvent(RecordingStarted, "Recording started", call.outputPath);
  ApplyEncoderSettings();
  engine_.SetVideoRes(job.width, job.height);
  for (const std::string& line : call.debugLines) DebugOutput(line);
  if (call.streaming) {
    const int servers = call.usesTestUrl ? 0 : static_cast<int>(call.urls.size());
    QMetaObject::invokeMethod(this, [this, servers] {
      host_.SetStatusPane(3, Printf("Streaming: %d Server(s)", servers));
      host_.SetStatusPane(1, "");
    }, Qt::QueuedConnection);
  }
  Invoke(engine_, call);
}

void RecordingController::ApplyEncoderSettings() {
  const RecordingDefaults defaults = LoadRecordingDefaults(Settings(store_));
  engine_.SetFrameRate(defaults.fps);
  engine_.SetCrf(defaults.crf);
  DebugOutput(Printf("Applied default settings: FPS=%d, CRF=%d\n", defaults.fps, defaults.crf));
  QMetaObject::invokeMethod(this, [this, defaults] { host_.ApplyRecordingDefaults(defaults); }, Qt::QueuedConnection);
}

void RecordingController::StopRecording() {
  const std::string path = actualOutputFile_;
  if (path.empty()) DebugOutput("Warning: m_strActualOutputFile is empty in StopRecording\n");
  else DebugOutput(Printf("StopRecording: Using stored output file: %s\n", path.c_str()));
  // The cloud copy waits for this recording's file to be complete; a start
  // still waiting for an earlier file never runs.
  std::shared_ptr<RecordingCompletion> recording;
  if (current_) recording = current_->job().completion;
  if (pending_) pending_->completion->MarkDone();
  if (current_ || pending_) {
    WaitCursor waiting;
    trayIdle_ = true;
    engine_.StopRecording();
    engine_.StopFFmpegProcess();
    // The worker is kept until its file is finished; the watch re-sends the
    // stop should it have come before the engine built its inputs.
    if (current_) stopping_.push_back(current_);
    std::lock_guard<std::mutex> guard(stateLock_);
    current_ = nullptr;
    pending_.reset();
  }
  recordedThisSession_ = true;
  if (!host_.BookScheduledStop(path)) host_.LogEvent(RecordingStopped, "Recording stopped", path);
  if (!path.empty()) {
    DebugOutput(Printf("Saving file path to registry: %s\n", path.c_str()));
    host_.RememberRecording(path);
  } else {
    DebugOutput("Warning: strOutputFile is empty, not saving to registry\n");
  }
  host_.ShowOverlaysForRecording(false);
  if (host_.PlaybackTicked()) host_.LogEvent(BackgroundMusicStopped, "Background music stopped", "");
  if (host_.StreamingTicked()) host_.LogEvent(StreamingStopped, "Streaming stopped", "");
  streamingActive_ = false;
  host_.ShowRecordingState(false);
  host_.ShowToolbarAfterStop();
  host_.StartCloudAutoSave(path, recording);
  actualOutputFile_.clear();
  startMs_ = 0;
  paused_ = false;
  host_.SetStatusPane(0, "Ready");
  host_.SetStatusPane(3, host_.StreamingTicked() ? "Streaming: Stopped" : "Streaming: Disabled");
  host_.SetStatusPane(1, "");
  host_.UpdateSystemStats();
}

void RecordingController::TogglePause() {
  if (!current_) return;
  if (paused_) {
    // The toolbar leaves the screen before the engine takes frames again.
    host_.UpdateToolbar(true, false);
    engine_.ResumeRecording();
    paused_ = false;
  } else {
    engine_.PauseRecording();
    paused_ = true;
    host_.UpdateToolbar(true, true);
  }
}

void RecordingController::Watch() {
  void* clock = engine_.GetGlobalTimer();
  bool stoppingAlive = false;
  for (const Worker* worker : stopping_) stoppingAlive |= !worker->isFinished();
  if (stoppingAlive && clock) engine_.StopRecording();
  // A pause asked before the engine's clock existed is applied to it now.
  if (current_ && clock && !clockSeen_ && paused_) engine_.PauseRecording();
  if (current_) clockSeen_ = clock != nullptr;
  if (!current_ && !stoppingAlive) watch_->stop();
}

void RecordingController::OnWorkerFinished(Worker* worker) {
  const EngineCall call = worker->job().call;
  if (worker == current_) {
    // The engine returned without being asked: the window must not go on
    // counting a recording that does not run.
    StopRecording();
    // The engine's own words when it ended the recording for a cause (a
    // full disk, the screen lost): they say what happened and what was kept.
    const std::string reason = engine_.GetRecordingStopReason();
    const std::string said = reason.empty() ? std::string(kEndedUnexpectedly) : reason;
    host_.SetStatusPane(1, said);
    notifier_.ShowBalloon("Orvex", said, Notifier::Icon::Warning, kBalloonMs);
    host_.LogEvent(Error, said, call.outputPath);
  }
  std::erase(stopping_, worker);
  if (current_ == worker) {
    std::lock_guard<std::mutex> guard(stateLock_);
    current_ = nullptr;
  }
  worker->deleteLater();
  if (call.usesTestUrl) host_.SetStatusPane(1, kTestUrlWarning);
  emit RecordingFinished(QString::fromStdString(call.outputPath));
  if (pending_ && !AnyWorkerAlive()) {
    std::shared_ptr<Job> next;
    {
      std::lock_guard<std::mutex> guard(stateLock_);
      next = std::move(pending_);
      pending_.reset();
    }
    StartWorker(std::move(next));
  }
}

bool RecordingController::WaitForWorkers(int timeoutMs) {
  QElapsedTimer waited;
  waited.start();
  while (AnyWorkerAlive() && waited.elapsed() < timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  QApplication::sendPostedEvents(this);  // deliver the finished notices
  return !AnyWorkerAlive();
}

}  // namespace orvex
