// The schedule in the main window and its dialog: passes under a test clock
// start and stop recordings through the Start/Stop command, statuses reach
// the store, and the dialog edits the list as a user would.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <atomic>
#include <filesystem>

#include "MainWindowFixture.h"
#include "features/ScheduleDialog.h"
#include "features/ScheduledRecording.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr ScheduleDate kToday{2026, 3, 14};

// The user presses OK.
void PressOk(CScheduleRecordingDlg& dialog) {
  Click(dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok));
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class ScheduleWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Store("FolderPath", dir_ / "rec");
    Store("DefaultOutfilename", "Take");
    Store("LoggingEnabled", "TRUE");
    std::filesystem::create_directories(dir_ / "rec");
  }
  // The window with the test's clock and a pass every 50 ms.
  std::unique_ptr<CMainDlg> MakeScheduled() {
    MainWindowServices services{store_, prompts_, launcher_, engine_, times_, cameras_, &notifier_, nullptr,
                                "/opt/orvex/OrvexLite"};
    services.schedulePeriodMs = 50;
    services.localClock = [this] { return LocalClockReading{kToday, minute_.load()}; };
    auto window = std::make_unique<CMainDlg>(services);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }
  void StoreEntry(int n, const std::string& from, const std::string& to, ScheduleDate date = kToday) {
    Store("ScheduledRecording" + std::to_string(n) + "_Date", FormatScheduleDate(date));
    Store("ScheduledRecording" + std::to_string(n) + "_FromTime", from);
    Store("ScheduledRecording" + std::to_string(n) + "_ToTime", to);
  }
  bool Logged(CMainDlg& window, EventType type, const std::string& details) {
    for (const EventRecord& event : window.eventLog().ReadAllEvents())
      if (event.type == type && event.details == details) return true;
    return false;
  }
  // Answers the next modal dialog with `answer` once it shows.
  template <typename Answer>
  void WhenDialogShows(Answer answer) {
    QTimer::singleShot(50, [answer] {
      auto* dialog = qobject_cast<CScheduleRecordingDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      answer(*dialog);
    });
  }
  static bool WaitFor(const std::function<bool()>& condition, int ms = 5000) { return QTest::qWaitFor(condition, ms); }

  std::atomic<int> minute_{9 * 60 + 59};
};

TEST_F(ScheduleWindowTest, AWindowOfTodayRecordsFromItsStartToItsEnd) {
  Store("EnableScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "3");
  StoreEntry(0, "10:00 AM", "10:05 AM");
  // Number 1 has no date: the entry of number 2 is at position 1.
  StoreEntry(2, "10:00 AM", "10:05 AM", {2026, 3, 15});
  auto window = MakeScheduled();
  ASSERT_TRUE(window->scheduleMonitorRunning());
  QTest::qWait(200);
  EXPECT_FALSE(engine_.Running());

  minute_ = 10 * 60;
  ASSERT_TRUE(WaitFor([&] { return engine_.Running(); }));
  const std::string path = dir_ / "rec/Take.mp4";
  EXPECT_EQ(window->activeScheduleIndex(), 0);
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Recording");
  EXPECT_NE(Debug().find("Scheduled recording started: Mar-14-2026 10:00 AM-10:05 AM\n"), std::string::npos);
  QTest::qWait(300);  // more passes within the same minute start nothing more
  EXPECT_EQ(engine_.Recordings().size(), 1u);
  EXPECT_TRUE(WaitFor([&] { return Logged(*window, ScheduleRecordingStarted, path); }));

  minute_ = 10 * 60 + 5;
  ASSERT_TRUE(WaitFor([&] { return !window->IsRecording(); }));
  EXPECT_NE(Debug().find("Scheduled recording stopped: Mar-14-2026 10:00 AM-10:05 AM\n"), std::string::npos);
  EXPECT_EQ(window->activeScheduleIndex(), -1);
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Completed");
  EXPECT_EQ(Stored("ScheduledRecording0_FilePath"), path);
  EXPECT_EQ(window->schedules()[0].recordedFile, path);
  EXPECT_TRUE(Logged(*window, ScheduleRecordingStopped, path));
  EXPECT_FALSE(Logged(*window, RecordingStopped, path));
  EXPECT_FALSE(Stored("ScheduledRecording1_Status"));  // nothing went to the wrong number
  // No keep-awake service here: every request is refused and recording goes on without.
  EXPECT_FALSE(window->sleepPrevented());
  EXPECT_EQ(Debug().find("System sleep prevention enabled"), std::string::npos);
  EXPECT_TRUE(window->controller().WaitForWorkers(5000));
}

TEST_F(ScheduleWindowTest, AStartRefusedByTheChecksLeavesTheEntryAsItWas) {
  Store("EnableScheduledRecording", "TRUE");
  Store("EnableVideoStreaming", "TRUE");  // and no server: the command refuses
  Store("ScheduledRecordingCount", "1");
  StoreEntry(0, "10:00 AM", "10:05 AM");
  auto window = MakeScheduled();
  minute_ = 10 * 60;
  ASSERT_TRUE(WaitFor([&] { return !prompts_.shown.empty(); }));
  EXPECT_EQ(prompts_.shown[0].title, "No Streaming Server Selected");
  EXPECT_TRUE(WaitFor([&] { return window->activeScheduleIndex() == -1; }));
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Not Started");
  QTest::qWait(300);
  EXPECT_EQ(prompts_.shown.size(), 1u);  // tried once, not at every pass
  EXPECT_TRUE(engine_.Recordings().empty());
}

TEST_F(ScheduleWindowTest, AManualRecordingRunningAtAnEndIsStoppedAndAStartMeetingOneIsDropped) {
  Store("EnableScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "1");
  StoreEntry(0, "10:00 AM", "10:05 AM");
  auto window = MakeScheduled();
  Click(window->ControlAs<QPushButton>(IDC_START_STOP));
  ASSERT_TRUE(WaitFor([&] { return engine_.Running(); }));
  minute_ = 10 * 60;
  QTest::qWait(300);
  EXPECT_TRUE(window->IsRecording());  // the start found a recording running
  EXPECT_EQ(window->activeScheduleIndex(), -1);
  EXPECT_EQ(engine_.Recordings().size(), 1u);
  minute_ = 10 * 60 + 5;
  EXPECT_TRUE(WaitFor([&] { return !window->IsRecording(); }));
  EXPECT_TRUE(Logged(*window, RecordingStopped, dir_ / "rec/Take.mp4"));
  EXPECT_TRUE(window->controller().WaitForWorkers(5000));
}

TEST_F(ScheduleWindowTest, TenOksLeaveOneMonitorWithSchedulingOnAndNoneWithItOff) {
  Store("EnableScheduledRecording", "TRUE");
  auto window = MakeScheduled();
  for (int i = 0; i < 10; ++i) {
    WhenDialogShows([](CScheduleRecordingDlg& dialog) { PressOk(dialog); });
    window->OnScheduleRecording();
  }
  EXPECT_TRUE(window->scheduleMonitorRunning());
  // The starter and the thread each say "started"; a stop says "stopped" and the thread "exited".
  EXPECT_TRUE(WaitFor([&] { return CountOf(Debug(), "Schedule monitoring thread started\n") == 2 * 11; }));
  std::string debug = Debug();
  EXPECT_EQ(CountOf(debug, "Schedule monitoring thread stopped\n"), 10);
  EXPECT_EQ(CountOf(debug, "Schedule monitoring thread exited\n"), 10);

  WhenDialogShows([](CScheduleRecordingDlg& dialog) {
    Click(dialog.enableBox());
    PressOk(dialog);
  });
  window->OnScheduleRecording();
  EXPECT_FALSE(window->scheduleMonitorRunning());
  EXPECT_EQ(Stored("EnableScheduledRecording"), "FALSE");
  debug = Debug();
  EXPECT_EQ(CountOf(debug, "Schedule monitoring thread exited\n"), 11);
}

TEST_F(ScheduleWindowTest, AStatusWrittenWhileTheDialogIsOpenSurvivesItsOkAndTheActiveEntryFollows) {
  Store("EnableScheduledRecording", "TRUE");  // the list's buttons work only then
  Store("ScheduledRecordingCount", "3");
  StoreEntry(0, "10:00 AM", "10:05 AM");
  StoreEntry(2, "11:00 AM", "11:30 AM");
  auto window = MakeScheduled();
  window->SetScheduleState(1, false);  // the entry of number 2 records
  WhenDialogShows([&](CScheduleRecordingDlg& dialog) {
    window->SetScheduleStatus(1, "Recording", "");  // as the monitor would, meanwhile
    dialog.list()->selectRow(0);
    Click(dialog.button("Remove"));
    PressOk(dialog);
  });
  window->OnScheduleRecording();
  EXPECT_EQ(Stored("ScheduledRecordingCount"), "1");
  EXPECT_EQ(Stored("ScheduledRecording0_FromTime"), "11:00 AM");
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Recording");
  EXPECT_EQ(window->activeScheduleIndex(), 0);
  window->SetScheduleStatus(window->activeScheduleIndex(), "Completed", "/videos/eleven.mp4");
  EXPECT_EQ(Stored("ScheduledRecording0_FilePath"), "/videos/eleven.mp4");

  WhenDialogShows([&](CScheduleRecordingDlg& dialog) {
    dialog.list()->selectRow(0);
    Click(dialog.button("Remove"));
    PressOk(dialog);
  });
  window->OnScheduleRecording();
  EXPECT_EQ(window->activeScheduleIndex(), -1);  // its entry is gone
}

class ScheduleDialogTest : public MainWindowTest {
 protected:
  std::unique_ptr<CScheduleRecordingDlg> Open() {
    auto dialog = std::make_unique<CScheduleRecordingDlg>(store_, prompts_);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }
  static void SetTime(CScheduleRecordingDlg& dialog, int first, const char* hour, const char* minute, const char* amPm) {
    dialog.timeBox(first)->setCurrentText(hour);
    dialog.timeBox(first + 1)->setCurrentText(minute);
    dialog.timeBox(first + 2)->setCurrentText(amPm);
  }
  static void ClickRow(CScheduleRecordingDlg& dialog, int row) {
    QTableWidget* list = dialog.list();
    const QRect cell = list->visualRect(list->model()->index(row, 2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  }
};

TEST_F(ScheduleDialogTest, AddValidatesTheWindowAndOkStoresIt) {
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), "Schedule Recording");
  EXPECT_FALSE(dialog->list()->isEnabled());  // scheduling is off
  Click(dialog->enableBox());
  ASSERT_TRUE(dialog->button("Add")->isEnabled());
  EXPECT_EQ(dialog->timeBox(0)->currentText(), "9");
  EXPECT_EQ(dialog->timeBox(5)->currentText(), "PM");

  SetTime(*dialog, 0, "11", "00", "PM");
  SetTime(*dialog, 3, "12", "00", "AM");
  Click(dialog->button("Add"));
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].title, "Invalid Time Range");
  EXPECT_EQ(prompts_.shown[0].text, "To time must be after From time.");
  EXPECT_EQ(prompts_.shown[0].icon, UserPrompts::Icon::Error);
  EXPECT_EQ(dialog->list()->rowCount(), 0);

  dialog->datePicker()->setDate(QDate(2031, 7, 4));
  SetTime(*dialog, 0, "12", "00", "PM");
  SetTime(*dialog, 3, "1", "35", "PM");
  Click(dialog->button("Add"));
  ASSERT_EQ(dialog->list()->rowCount(), 1);
  EXPECT_EQ(dialog->list()->item(0, 0)->text(), "Jul-04-2031");
  EXPECT_EQ(dialog->list()->item(0, 1)->text(), "12:00 PM");
  EXPECT_EQ(dialog->list()->item(0, 2)->text(), "01:35 PM");
  EXPECT_EQ(dialog->list()->item(0, 3)->text(), "Yes");
  EXPECT_EQ(dialog->list()->item(0, 4)->text(), "Not Started");
  EXPECT_EQ(dialog->timeBox(0)->currentText(), "9");  // the inputs are reset

  Click(dialog->button("Edit"));
  EXPECT_EQ(prompts_.LastText(), "Please select a schedule to edit.");
  Click(dialog->button("Remove"));
  EXPECT_EQ(prompts_.LastText(), "Please select a schedule to remove.");
  Click(dialog->doNotStreamBox());
  PressOk(*dialog);
  EXPECT_EQ(Stored("EnableScheduledRecording"), "TRUE");
  EXPECT_EQ(Stored("DoNotStreamWithScheduledRecording"), "TRUE");
  EXPECT_EQ(Stored("ScheduledRecordingCount"), "1");
  EXPECT_EQ(Stored("ScheduledRecording0_Date"), "Jul-04-2031");
  EXPECT_EQ(Stored("ScheduledRecording0_ToTime"), "01:35 PM");
  EXPECT_EQ(Stored("ScheduledRecording0_Enabled"), "TRUE");
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Not Started");
}

TEST_F(ScheduleDialogTest, SelectingARowShowsItAndEditKeepsItsStatusAndBox) {
  Store("EnableScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "2");
  Store("ScheduledRecording0_Date", "Feb-02-2030");
  Store("ScheduledRecording0_FromTime", "12:07 AM");  // not in the minute list: its first
  Store("ScheduledRecording0_ToTime", "garbage");
  Store("ScheduledRecording0_Status", "Completed");
  Store("ScheduledRecording1_Date", "Feb-03-2030");
  Store("ScheduledRecording1_FromTime", "08:00 AM");
  Store("ScheduledRecording1_ToTime", "09:00 AM");
  auto dialog = Open();
  ClickRow(*dialog, 0);
  EXPECT_EQ(dialog->datePicker()->date(), QDate(2030, 2, 2));
  EXPECT_EQ(dialog->timeBox(0)->currentText(), "12");
  EXPECT_EQ(dialog->timeBox(1)->currentText(), "00");
  EXPECT_EQ(dialog->timeBox(2)->currentText(), "AM");
  EXPECT_EQ(dialog->timeBox(3)->currentText(), "5");  // a time that does not parse shows 5:00 PM
  EXPECT_EQ(dialog->timeBox(5)->currentText(), "PM");
  SetTime(*dialog, 0, "2", "15", "PM");
  Click(dialog->button("Edit"));
  EXPECT_EQ(dialog->list()->item(0, 1)->text(), "02:15 PM");
  EXPECT_EQ(dialog->list()->item(0, 4)->text(), "Completed");

  // Untick row 1 while it stays selected: OK takes the box all the same.
  ClickRow(*dialog, 1);
  dialog->list()->item(1, 0)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(dialog->list()->item(1, 3)->text(), "No");
  PressOk(*dialog);
  EXPECT_EQ(Stored("ScheduledRecording0_FromTime"), "02:15 PM");
  EXPECT_EQ(Stored("ScheduledRecording0_Status"), "Completed");
  EXPECT_EQ(Stored("ScheduledRecording1_Enabled"), "FALSE");
}

TEST_F(ScheduleDialogTest, PlayOpensTheRecordedFileOrSaysWhyNot) {
  const std::string file = dir_ / "recorded.mp4";
  testsupport::RunCommand("echo video > '" + file + "'");
  Store("EnableScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "2");
  for (int n : {0, 1}) {
    Store("ScheduledRecording" + std::to_string(n) + "_Date", "Feb-02-2030");
    Store("ScheduledRecording" + std::to_string(n) + "_FromTime", "08:00 AM");
    Store("ScheduledRecording" + std::to_string(n) + "_ToTime", "09:00 AM");
  }
  Store("ScheduledRecording1_FilePath", file);
  auto dialog = Open();
  std::vector<std::string> opened;
  dialog->openFile = [&](const std::string& path) { opened.push_back(path); };
  Click(dialog->button("Play"));
  EXPECT_EQ(prompts_.LastText(), "Please select a schedule to play.");
  ClickRow(*dialog, 0);
  Click(dialog->button("Play"));
  EXPECT_EQ(prompts_.shown.back().title, "No File");
  const QPoint row1 = dialog->list()->visualRect(dialog->list()->model()->index(1, 2)).center();
  QTest::mouseClick(dialog->list()->viewport(), Qt::LeftButton, {}, row1);  // the view wants the press first
  QTest::mouseDClick(dialog->list()->viewport(), Qt::LeftButton, {}, row1);
  EXPECT_EQ(opened, (std::vector<std::string>{file}));
  std::filesystem::rename(file, dir_ / "moved.mp4");
  ClickRow(*dialog, 1);
  Click(dialog->button("Play"));
  EXPECT_EQ(prompts_.shown.back().title, "File Not Found");
  EXPECT_EQ(prompts_.shown.back().text, "The recorded file could not be found.");
  EXPECT_EQ(prompts_.shown.back().icon, UserPrompts::Icon::Warning);
  EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
