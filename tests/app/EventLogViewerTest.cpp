// The event log viewer and the colour button, without a display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include <QComboBox>
#include <QDateEdit>
#include <QEnterEvent>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "FakePrompts.h"
#include "Processes.h"
#include "core/Settings.h"
#include "features/CustomColorButton.h"
#include "features/EventLogFilter.h"
#include "features/EventLogViewerDialog.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::FakePrompts;
using testsupport::TempDir;

namespace {

std::time_t DaysAgo(int days, int hour) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_mday -= days;
  local.tm_hour = hour;
  local.tm_min = 30;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

class EventLogViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    store_.WriteValue(kRootKey, "LoggingEnabled", "TRUE");
    EventLog log(store_);
    ASSERT_TRUE(log.Initialize());
    auto at = [&](int daysAgo, int hour, EventType type, const std::string& text, const std::string& details) {
      log.now = [=] { return DaysAgo(daysAgo, hour); };
      log.LogEvent(type, text, details);
    };
    at(2, 10, ApplicationStarted, "Application started", "");
    at(1, 9, RecordingStarted, "Recording started", "/rec/yesterday.mp4");
    at(0, 0, ApplicationStarted, "Application started", "");
    at(0, 1, ScheduleRecordingStopped, "Scheduled recording stopped", (dir_ / "moved-away.mp4"));
    at(0, 2, RecordingStopped, "Recording stopped", "");
  }
  int Rows(CEventLogViewerDlg& dialog) { return dialog.table()->rowCount(); }
  std::string Cell(CEventLogViewerDlg& dialog, int row, int column) {
    return dialog.table()->item(row, column)->text().toStdString();
  }
  TempDir dir_;
  RegistryStore store_{dir_ / "config/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
};

TEST_F(EventLogViewerTest, FiltersByDaysAndType) {
  CEventLogViewerDlg dialog(store_, prompts_);
  EXPECT_EQ(Rows(dialog), 5);  // the default range holds everything, newest first
  EXPECT_EQ(Cell(dialog, 0, 1), "Recording Stopped");
  EXPECT_EQ(Cell(dialog, 4, 1), "Application Started");
  ASSERT_EQ(dialog.typeList()->count(), 17);
  EXPECT_EQ(dialog.typeList()->itemText(16), "Info");

  dialog.fromDate()->setDate(QDate::currentDate());
  dialog.toDate()->setDate(QDate::currentDate());
  dialog.Refresh();
  ASSERT_EQ(Rows(dialog), 3);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(Cell(dialog, row, 0).substr(0, 10), QDate::currentDate().toString("yyyy-MM-dd").toStdString());

  dialog.typeList()->setCurrentIndex(16);  // "Info": refreshes at once
  EXPECT_EQ(Rows(dialog), 0);
  dialog.typeList()->setCurrentIndex(12);  // "Application Started"
  EXPECT_EQ(Rows(dialog), 1);
  dialog.Refresh();  // "Filter" gives the same rows
  EXPECT_EQ(Rows(dialog), 1);
  dialog.ClearFilter();
  EXPECT_EQ(dialog.typeList()->currentIndex(), 0);
  EXPECT_EQ(Rows(dialog), 5);
}

TEST_F(EventLogViewerTest, DoubleClickOpensOnlyFilesOfRecordingEvents) {
  CEventLogViewerDlg dialog(store_, prompts_);
  std::vector<std::string> opened;
  dialog.openFile = [&](const std::string& path) { opened.push_back(path); };
  dialog.OpenRow(1);  // Schedule Recording Stopped, file moved away
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].title, "File Not Found");
  EXPECT_EQ(prompts_.shown[0].text, "File not found:\n" + (dir_ / "moved-away.mp4"));
  dialog.OpenRow(2);  // Application Started: nothing happens
  EXPECT_EQ(prompts_.shown.size(), 1u);
  std::ofstream(dir_ / "moved-away.mp4") << "x";
  dialog.OpenRow(1);
  EXPECT_EQ(opened, std::vector<std::string>{dir_ / "moved-away.mp4"});

  EXPECT_FALSE(FileOfEvent("Recording Started", "  "));
  EXPECT_FALSE(FileOfEvent("Recording Started", "\\relative"));
  EXPECT_EQ(FileOfEvent("Recording Started", "\\\\server\\share\\a.mp4"), "\\\\server\\share\\a.mp4");
  EXPECT_EQ(FileOfEvent("Background Music Started", " /music/a.mp3 "), "/music/a.mp3");
}

TEST_F(EventLogViewerTest, ClearAllLogsAsksDeletesAndReports) {
  CEventLogViewerDlg dialog(store_, prompts_);
  const size_t files = dialog.log()->ListLogFiles().size();
  ASSERT_EQ(files, 3u);
  prompts_.answers = {false};
  dialog.ClearAll();
  EXPECT_EQ(prompts_.shown[0].text, "Are you sure you want to delete all 3 log file(s)?\n\nThis action cannot be undone.");
  EXPECT_TRUE(prompts_.noWasDefault[0]);
  EXPECT_EQ(dialog.log()->ListLogFiles().size(), 3u);

  prompts_.answers = {true};
  dialog.ClearAll();
  EXPECT_EQ(prompts_.LastText(), "Successfully deleted 3 log file(s).");
  EXPECT_EQ(prompts_.shown.back().title, "Success");
  EXPECT_EQ(Rows(dialog), 0);
  dialog.ClearAll();
  EXPECT_EQ(prompts_.LastText(), "No log files found to delete.");
  ClearAllLogs(nullptr, prompts_);
  EXPECT_EQ(prompts_.LastText(), "Event log is not initialized.");
}

TEST_F(EventLogViewerTest, PartialDeletionIsReported) {
  EventLog log(store_);
  ASSERT_TRUE(log.Initialize());
  const auto files = log.ListLogFiles();
  ASSERT_EQ(files.size(), 3u);
  // The middle file resists deletion, as a file held open elsewhere would.
  auto removeFile = [&](const char* path) {
    if (files[1] == path) return errno = EACCES, -1;
    return std::remove(path);
  };
  prompts_.answers = {true};
  ClearAllLogs(&log, prompts_, removeFile);
  EXPECT_EQ(prompts_.LastText(), "Deleted 2 log file(s).\nFailed to delete 1 file(s).");
  EXPECT_EQ(prompts_.shown.back().title, "Warning");
  EXPECT_EQ(prompts_.shown.back().icon, UserPrompts::Icon::Warning);
  EXPECT_EQ(log.ListLogFiles(), std::vector<std::string>{files[1]});
}

TEST(CustomColorButton, PaintsItsThreeStatesAndCentresTheCaption) {
  CCustomColorButton button("Go");
  EXPECT_EQ(button.normalColor(), QColor(25, 25, 112));
  EXPECT_EQ(button.hoverColor(), QColor(35, 35, 130));
  EXPECT_EQ(button.pressedColor(), QColor(10, 10, 60));
  EXPECT_EQ(button.borderColor(), QColor(60, 60, 140));
  button.SetColors(QColor(255, 0, 0), QColor(200, 0, 0), QColor(150, 0, 0), Qt::white, QColor(128, 0, 0));
  button.resize(120, 40);
  button.show();
  auto pixel = [&](int x, int y) { return button.grab().toImage().pixelColor(x, y); };
  EXPECT_EQ(pixel(5, 5), QColor(255, 0, 0));
  EXPECT_EQ(pixel(0, 0), QColor(128, 0, 0));  // the border
  EXPECT_EQ(pixel(119, 39), QColor(128, 0, 0));

  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
  QApplication::sendEvent(&button, &enter);
  EXPECT_EQ(pixel(5, 5), QColor(200, 0, 0));
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(pixel(5, 5), QColor(150, 0, 0));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(pixel(5, 5), QColor(200, 0, 0));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&button, &leave);
  EXPECT_EQ(pixel(5, 5), QColor(255, 0, 0));

  // The caption is drawn in white, centred: its ink's middle is the button's.
  const QImage image = button.grab().toImage();
  int left = image.width(), right = -1, top = image.height(), bottom = -1;
  for (int y = 1; y < image.height() - 1; ++y)
    for (int x = 1; x < image.width() - 1; ++x)
      if (image.pixelColor(x, y).green() > 128) {
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  ASSERT_GE(right, left) << "no caption drawn";
  EXPECT_NEAR((left + right) / 2.0, image.width() / 2.0, 3);
  EXPECT_NEAR((top + bottom) / 2.0, image.height() / 2.0, 3);
}

TEST_F(EventLogViewerTest, EscapeClosesWithoutDeleting) {
  CEventLogViewerDlg dialog(store_, prompts_);
  dialog.show();
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(dialog.log()->ListLogFiles().size(), 3u);
}

}  // namespace
