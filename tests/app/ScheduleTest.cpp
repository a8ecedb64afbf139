// The schedule's rules without a window: the date and time texts, the list in
// the store, and the monitor's passes under a clock the test sets.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "Processes.h"
#include "core/Settings.h"
#include "features/ScheduleMonitor.h"
#include "features/ScheduledRecording.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::TempDir;

namespace {

TEST(ScheduleTextsTest, DatesParseByTheAbbreviationsAndTheirRanges) {
  EXPECT_EQ(ParseScheduleDate("jan-15-2024"), (ScheduleDate{2024, 1, 15}));
  EXPECT_EQ(ParseScheduleDate("  DEC-31-2100 "), (ScheduleDate{2100, 12, 31}));
  EXPECT_EQ(ParseScheduleDate("Feb-01-1900"), (ScheduleDate{1900, 2, 1}));
  for (const char* bad : {"Jan-32-2024", "Jan-00-2024", "Jan-15-2101", "Jan-15-1899", "Jen-15-2024", "-15-2024",
                          "Jan-15", "Jan--2024", "Jan-15-", "Jan-1x-2024", "", "January-15-2024"})
    EXPECT_FALSE(ParseScheduleDate(bad)) << bad;
  EXPECT_EQ(FormatScheduleDate({2024, 1, 5}), "Jan-05-2024");
  EXPECT_EQ(ParseScheduleDate(FormatScheduleDate({2031, 9, 9})), (ScheduleDate{2031, 9, 9}));
}

TEST(ScheduleTextsTest, TimesAreMinutesOfTheDayWithTwelveAsMidnightAndNoon) {
  EXPECT_EQ(ParseScheduleTime("12:00 AM"), 0);
  EXPECT_EQ(ParseScheduleTime("12:00 PM"), 720);
  EXPECT_EQ(ParseScheduleTime("01:30 AM"), 90);
  EXPECT_EQ(ParseScheduleTime(" 11:59  pm "), 23 * 60 + 59);
  EXPECT_EQ(ParseScheduleTime("9:05 PM"), 21 * 60 + 5);
  for (const char* bad : {"13:00 PM", "00:30 AM", "10:60 AM", "10:00", "10:00 XM", ":30 AM", "10: AM", "ten:00 AM", ""})
    EXPECT_FALSE(ParseScheduleTime(bad)) << bad;
  EXPECT_EQ(FormatScheduleTime("9", "05", "AM"), "09:05 AM");
  EXPECT_EQ(FormatScheduleTime("12", "55", "PM"), "12:55 PM");
}

class ScheduleStoreTest : public ::testing::Test {
 protected:
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  std::optional<std::string> Stored(const std::string& name) { return store_.ReadValue(kRootKey, name); }
  void StoreEntry(int n, const std::string& date) {
    Store(Printf("ScheduledRecording%d_Date", n), date);
    Store(Printf("ScheduledRecording%d_FromTime", n), "09:00 AM");
    Store(Printf("ScheduledRecording%d_ToTime", n), "10:00 AM");
  }
  static std::string Printf(const char* format, int n) {
    char text[64];
    std::snprintf(text, sizeof text, format, n);
    return text;
  }
  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  Settings settings_{store_};
};

TEST_F(ScheduleStoreTest, MissingValuesTakeTheirDefaultsAndSkippedNumbersCloseUp) {
  EXPECT_FALSE(ReadScheduleBook(settings_).schedulingEnabled);
  EXPECT_TRUE(ReadScheduleBook(settings_).entries.empty());
  Store("EnableScheduledRecording", "1");  // only exactly "TRUE" switches it on
  Store("DoNotStreamWithScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "3x");
  StoreEntry(0, "Jan-15-2024");
  Store("ScheduledRecording1_FromTime", "09:00 AM");  // no date: skipped
  StoreEntry(2, "Mar-01-2024");
  Store("ScheduledRecording2_Enabled", "yes");
  Store("ScheduledRecording2_Status", "Completed");
  Store("ScheduledRecording2_FilePath", "/videos/a.mp4");
  const ScheduleBook book = ReadScheduleBook(settings_);
  EXPECT_FALSE(book.schedulingEnabled);
  EXPECT_TRUE(book.doNotStream);
  ASSERT_EQ(book.entries.size(), 2u);
  EXPECT_TRUE(book.entries[0].enabled);  // missing is on
  EXPECT_EQ(book.entries[0].status, "Not Started");
  EXPECT_EQ(book.entries[0].number, 0);
  EXPECT_FALSE(book.entries[1].enabled);  // anything but "TRUE" is off
  EXPECT_EQ(book.entries[1].status, "Completed");
  EXPECT_EQ(book.entries[1].recordedFile, "/videos/a.mp4");
  EXPECT_EQ(book.entries[1].number, 2);
}

TEST_F(ScheduleStoreTest, WritingRenumbersAndStatusesFollowTheirOwnNumbers) {
  Store("ScheduledRecordingCount", "3");
  StoreEntry(0, "Jan-15-2024");
  StoreEntry(2, "Mar-01-2024");
  ScheduleBook book = ReadScheduleBook(settings_);
  // The schedule writes to the entry read from number 2 while the list is edited.
  WriteScheduleStatus(settings_, book.entries[1].number, "Completed", "/videos/b.mp4");
  book.schedulingEnabled = true;
  EXPECT_EQ(WriteScheduleBook(settings_, book), (std::vector<int>{0, 2}));
  EXPECT_EQ(Stored("ScheduledRecordingCount"), "2");
  EXPECT_EQ(Stored("EnableScheduledRecording"), "TRUE");
  EXPECT_EQ(Stored("DoNotStreamWithScheduledRecording"), "FALSE");
  EXPECT_EQ(Stored("ScheduledRecording1_Date"), "Mar-01-2024");
  EXPECT_EQ(Stored("ScheduledRecording1_Status"), "Completed");
  EXPECT_EQ(Stored("ScheduledRecording1_FilePath"), "/videos/b.mp4");
  EXPECT_EQ(Stored("ScheduledRecording0_FilePath"), "");  // written also when empty
  EXPECT_FALSE(Stored("ScheduledRecording2_Date"));
  const ScheduleBook again = ReadScheduleBook(settings_);
  ASSERT_EQ(again.entries.size(), 2u);
  EXPECT_EQ(again.entries[1].number, 1);
  EXPECT_EQ(again.entries[1].recordedFile, "/videos/b.mp4");
}

TEST_F(ScheduleStoreTest, RemovingTheLastOfFiveDeletesItsWindowButKeepsItsStatus) {
  ScheduleBook book;
  for (int i = 0; i < 5; ++i) {
    ScheduledRecording entry;
    entry.date = FormatScheduleDate({2025, 4, 10 + i});
    entry.fromTime = "09:00 AM";
    entry.toTime = "10:00 AM";
    book.entries.push_back(entry);
  }
  // A path longer than the 100 characters other values are read with.
  const std::string longPath = "/home/someone/Videos/" + std::string(150 - 25, 'x') + ".mp4";
  ASSERT_EQ(longPath.size(), 150u);
  book.entries[4].recordedFile = longPath;
  book.entries[4].status = "Completed";
  WriteScheduleBook(settings_, book);
  EXPECT_EQ(ReadScheduleBook(settings_).entries[4].recordedFile, longPath);

  book = ReadScheduleBook(settings_);
  book.entries.pop_back();
  WriteScheduleBook(settings_, book);
  EXPECT_EQ(Stored("ScheduledRecordingCount"), "4");
  for (const char* field : {"Date", "FromTime", "ToTime", "Enabled"})
    EXPECT_FALSE(Stored(std::string("ScheduledRecording4_") + field)) << field;
  EXPECT_EQ(Stored("ScheduledRecording4_Status"), "Completed");
  EXPECT_EQ(Stored("ScheduledRecording4_FilePath"), longPath);
  EXPECT_EQ(ReadScheduleBook(settings_).entries.size(), 4u);
}

// A recorder that does what the window would do with the decisions.
class TestRecorder : public ScheduleDecisions {
 public:
  void StartScheduled(int position, const ScheduledRecording&) override {
    events.push_back("start " + std::to_string(position));
    active = position;
    recording = true;
  }
  void StopScheduled(const ScheduledRecording&) override {
    events.push_back("stop");
    recording = false;
    active = -1;
  }
  void Pass(const std::vector<ScheduledRecording>& entries, ScheduleDate date, int hour, int minute) {
    RunSchedulePass({date, hour * 60 + minute}, entries, active, recording, started, *this);
  }
  // Passes 30 s apart from h1:m1:s1 up to h2:m2:s2 on one date.
  void PassesBetween(const std::vector<ScheduledRecording>& entries, ScheduleDate date, int from, int to) {
    for (int second = from; second <= to; second += 30) Pass(entries, date, second / 3600, second / 60 % 60);
  }
  std::vector<std::string> events;
  int active = -1;
  bool recording = false;
  StartedWindows started;
};

constexpr ScheduleDate kToday{2026, 3, 14};
constexpr int Seconds(int h, int m, int s) { return h * 3600 + m * 60 + s; }

ScheduledRecording Window(const std::string& from, const std::string& to, ScheduleDate date = kToday) {
  ScheduledRecording entry;
  entry.date = FormatScheduleDate(date);
  entry.fromTime = from;
  entry.toTime = to;
  return entry;
}

TEST(SchedulePassTest, AWindowStartsOnceAndStopsAtItsEnd) {
  const std::vector<ScheduledRecording> list{Window("10:00 AM", "10:05 AM")};
  TestRecorder recorder;
  recorder.PassesBetween(list, kToday, Seconds(9, 59, 5), Seconds(10, 7, 5));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start 0", "stop"}));

  TestRecorder late;  // the application started within the window
  late.PassesBetween(list, kToday, Seconds(10, 2, 0), Seconds(10, 7, 0));
  EXPECT_TRUE(late.events.empty());

  std::vector<ScheduledRecording> disabled = list;
  disabled[0].enabled = false;
  TestRecorder off;
  off.PassesBetween(disabled, kToday, Seconds(9, 59, 0), Seconds(10, 7, 0));
  EXPECT_TRUE(off.events.empty());

  TestRecorder otherDay;
  otherDay.PassesBetween(list, {2026, 3, 15}, Seconds(9, 59, 0), Seconds(10, 7, 0));
  EXPECT_TRUE(otherDay.events.empty());
}

TEST(SchedulePassTest, AnyRecordingRunningAtAnEndMinuteIsStopped) {
  const std::vector<ScheduledRecording> list{Window("10:00 AM", "10:05 AM")};
  TestRecorder recorder;
  recorder.recording = true;  // started by hand at 10:03
  recorder.PassesBetween(list, kToday, Seconds(10, 3, 0), Seconds(10, 6, 0));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"stop"}));
}

TEST(SchedulePassTest, AWindowStoppedEarlyDoesNotStartAgain) {
  const std::vector<ScheduledRecording> list{Window("10:00 AM", "10:05 AM")};
  TestRecorder recorder;
  recorder.Pass(list, kToday, 10, 0);  // 10:00:05
  recorder.recording = false;          // stopped by hand (or failed) at 10:00:20
  recorder.active = -1;
  recorder.Pass(list, kToday, 10, 0);  // 10:00:35
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start 0"}));
}

TEST(SchedulePassTest, TheRepeatedAutumnHourStartsOnce) {
  const std::vector<ScheduledRecording> list{Window("01:30 AM", "01:40 AM")};
  TestRecorder recorder;
  recorder.PassesBetween(list, kToday, Seconds(1, 29, 10), Seconds(1, 59, 40));
  recorder.PassesBetween(list, kToday, Seconds(1, 0, 10), Seconds(1, 59, 40));  // clocks go back an hour
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start 0", "stop"}));
}

TEST(SchedulePassTest, TheScheduleOwnRecordingStopsAfterASkippedEndMinute) {
  // Spring forward: 01:59 is followed by 03:00.
  const std::vector<ScheduledRecording> spring{Window("01:30 AM", "02:30 AM")};
  TestRecorder recorder;
  recorder.PassesBetween(spring, kToday, Seconds(1, 29, 50), Seconds(1, 59, 50));
  recorder.Pass(spring, kToday, 3, 0);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start 0", "stop"}));

  // The last minute of the day, and the next pass already on the next date.
  const std::vector<ScheduledRecording> night{Window("11:00 PM", "11:59 PM")};
  TestRecorder late;
  late.PassesBetween(night, kToday, Seconds(22, 59, 50), Seconds(23, 58, 50));
  late.Pass(night, {2026, 3, 15}, 0, 0);
  EXPECT_EQ(late.events, (std::vector<std::string>{"start 0", "stop"}));

  // A recording started by hand keeps the exact-minute rule.
  TestRecorder manual;
  manual.recording = true;
  manual.Pass(spring, kToday, 3, 0);
  EXPECT_TRUE(manual.events.empty());
}

TEST(SchedulePassTest, BackToBackWindowsHandOverInOnePass) {
  const std::vector<ScheduledRecording> list{Window("10:05 AM", "10:10 AM"), Window("10:00 AM", "10:05 AM")};
  TestRecorder recorder;
  recorder.PassesBetween(list, kToday, Seconds(9, 59, 50), Seconds(10, 10, 20));
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"start 1", "stop", "start 0", "stop"}));
}

TEST(ScheduleSleepRuleTest, OnlyEnabledEntriesTodayOrLaterCount) {
  std::vector<ScheduledRecording> list{Window("09:00 AM", "10:00 AM", {2026, 3, 13})};
  EXPECT_FALSE(AnyEntryTodayOrLater(list, kToday));
  list.push_back(Window("01:00 AM", "02:00 AM"));  // today, already over: still counts
  EXPECT_TRUE(AnyEntryTodayOrLater(list, kToday));
  list.back().enabled = false;
  EXPECT_FALSE(AnyEntryTodayOrLater(list, kToday));
  list.push_back(Window("01:00 AM", "02:00 AM", {2027, 1, 1}));
  EXPECT_TRUE(AnyEntryTodayOrLater(list, kToday));
  list.back().date = "not a date";
  EXPECT_FALSE(AnyEntryTodayOrLater(list, kToday));
}

TEST(ScheduleMonitorTest, PassesRunPerPeriodAndAStopDuringTheWaitReturnsAtOnce) {
  std::atomic<int> passes{0};
  {
    ScheduleMonitor quick([&] { ++passes; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(testsupport::WaitUntil([&] { return passes >= 3; }, std::chrono::seconds(5)));
  }
  passes = 0;
  ScheduleMonitor slow([&] { ++passes; }, std::chrono::milliseconds(30000));
  ASSERT_TRUE(testsupport::WaitUntil([&] { return passes == 1; }, std::chrono::seconds(5)));
  const auto before = std::chrono::steady_clock::now();
  slow.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_EQ(passes, 1);
}

}  // namespace
