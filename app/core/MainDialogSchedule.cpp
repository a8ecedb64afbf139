// The main window's side of the recording schedule: the list it keeps, the
// monitor thread, the entries' status and the hold on the computer's sleep.
#include <QPushButton>

#include "core/MainDialog.h"
#include "features/ScheduleDialog.h"
#include "platform/DebugChannel.h"
#include "platform/KeepAwake.h"

using namespace orvex;

namespace {

constexpr char kStartCaption[] = "Start Recording";

KeepAwake& RefusingKeepAwake() {
  static NoKeepAwake refusing;
  return refusing;
}

class PassSink : public ScheduleDecisions {
 public:
  explicit PassSink(std::function<void(int, const ScheduledRecording&)> start,
                    std::function<void(const ScheduledRecording&)> stop)
      : start_(std::move(start)), stop_(std::move(stop)) {}
  void StartScheduled(int position, const ScheduledRecording& entry) override { start_(position, entry); }
  void StopScheduled(const ScheduledRecording& entry) override { stop_(entry); }

 private:
  std::function<void(int, const ScheduledRecording&)> start_;
  std::function<void(const ScheduledRecording&)> stop_;
};

}  // namespace

KeepAwake& CMainDlg::KeepAwakeOf(const MainWindowServices& services) {
  return services.keepAwake ? *services.keepAwake : RefusingKeepAwake();
}

std::vector<ScheduledRecording> CMainDlg::schedules() const {
  std::lock_guard<std::mutex> guard(scheduleLock_);
  return schedules_;
}

void CMainDlg::LoadSchedules() {
  ScheduleBook book = ReadScheduleBook(settings_);
  {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    schedules_ = std::move(book.entries);
    schedulingEnabled_ = book.schedulingEnabled;
  }
  doNotStreamScheduled_ = book.doNotStream;
  if (book.schedulingEnabled) {
    StopScheduleMonitor();
    StartScheduleMonitor();
  }
  UpdateSleepPrevention();
}

void CMainDlg::StartScheduleMonitor() {
  if (monitor_) return;
  monitor_ = std::make_unique<ScheduleMonitor>([this] { RunSchedulePass(); },
                                               std::chrono::milliseconds(services_.schedulePeriodMs));
  DebugOutput("Schedule monitoring thread started\n");
}

void CMainDlg::StopScheduleMonitor() {
  if (monitor_) {
    monitor_.reset();
    DebugOutput("Schedule monitoring thread stopped\n");
  }
  UpdateSleepPrevention();
}

void CMainDlg::SetScheduleStatus(int index, const std::string& status, const std::string& path) {
  std::lock_guard<std::mutex> guard(scheduleLock_);
  SetScheduleStatusLocked(index, status, path);
}

void CMainDlg::SetScheduleStatusLocked(int index, const std::string& status, const std::string& path) {
  if (index < 0 || index >= static_cast<int>(schedules_.size())) return;
  ScheduledRecording& entry = schedules_[index];
  entry.status = status;
  if (!path.empty()) entry.recordedFile = path;
  WriteScheduleStatus(settings_, entry.number, status, path);
}

void CMainDlg::UpdateSleepPrevention() {
  sleepPrevention_.Update([this] {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    return schedulingEnabled_ && AnyEntryTodayOrLater(schedules_, Now().date);
  });
}

void CMainDlg::RunSchedulePass() {
  {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    PassSink sink(
        [this](int position, const ScheduledRecording& entry) {
          const std::string before = entry.status;
          activeScheduleIndex_ = position;
          SetScheduleStatusLocked(position, kStatusRecording, "");
          QMetaObject::invokeMethod(this, [this, position, before] { OnScheduledStart(position, before); },
                                    Qt::QueuedConnection);
          DebugOutput(Printf("Scheduled recording started: %s %s-%s\n", entry.date.c_str(), entry.fromTime.c_str(),
                             entry.toTime.c_str()));
        },
        [this](const ScheduledRecording& entry) {
          QMetaObject::invokeMethod(this, [this] { OnScheduledStop(); }, Qt::QueuedConnection);
          DebugOutput(Printf("Scheduled recording stopped: %s %s-%s\n", entry.date.c_str(), entry.fromTime.c_str(),
                             entry.toTime.c_str()));
        });
    orvex::RunSchedulePass(Now(), schedules_, activeScheduleIndex_, IsRecording(), startedWindows_, sink);
  }
  UpdateSleepPrevention();
}

void CMainDlg::OnScheduledStart(int index, const std::string& statusBefore) {
  if (activeScheduleIndex_ != index) return;  // the list was replaced since
  bool started = false;
  if (!IsRecording()) {
    // A window that still shows a recording that has ended is tidied first,
    // as a manual stop would, without booking it to this entry.
    if (ControlAs<QPushButton>(IDC_START_STOP)->text() != kStartCaption) {
      activeScheduleIndex_ = -1;
      controller_->StopRecording();
      activeScheduleIndex_ = index;
    }
    OnStartStop();
    started = IsRecording();
  }
  if (started) return;
  // Dropped (a recording runs already) or refused by the checks.
  activeScheduleIndex_ = -1;
  SetScheduleStatus(index, statusBefore, "");
}

void CMainDlg::OnScheduledStop() {
  if (IsRecording()) OnStartStop();
}

bool CMainDlg::BookScheduledStop(const std::string& path) {
  const int index = activeScheduleIndex_;
  {
    std::lock_guard<std::mutex> guard(scheduleLock_);
    if (index < 0 || index >= static_cast<int>(schedules_.size())) return false;
    SetScheduleStatusLocked(index, kStatusCompleted, path);
  }
  LogEvent(ScheduleRecordingStopped, "Scheduled recording stopped", path);
  activeScheduleIndex_ = -1;
  return true;
}

void CMainDlg::OnScheduleRecording() {
  CScheduleRecordingDlg dialog(services_.store, services_.prompts, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // The running entry keeps its place in the list as the list is renumbered.
  int active = activeScheduleIndex_;
  if (active >= 0) {
    int number = -1;
    {
      std::lock_guard<std::mutex> guard(scheduleLock_);
      if (active < static_cast<int>(schedules_.size())) number = schedules_[active].number;
    }
    const std::vector<int>& before = dialog.previousNumbers();
    const auto found = std::find(before.begin(), before.end(), number);
    active = number >= 0 && found != before.end() ? static_cast<int>(found - before.begin()) : -1;
  }
  StopScheduleMonitor();
  activeScheduleIndex_ = active;
  doNotStreamScheduled_ = dialog.doNotStream();
  LoadSchedules();
}
