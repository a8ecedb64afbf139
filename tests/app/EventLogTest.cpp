// The event log's files byte for byte, its reader, the purge, and appends
// from several threads and processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Processes.h"
#include "core/Settings.h"
#include "features/EventLog.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

std::time_t LocalTime(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
  std::tm date{};
  date.tm_year = year - 1900;
  date.tm_mon = month - 1;
  date.tm_mday = day;
  date.tm_hour = hour;
  date.tm_min = minute;
  date.tm_sec = second;
  date.tm_isdst = -1;
  return std::mktime(&date);
}

class EventLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    store_.WriteValue(kRootKey, "LoggingEnabled", "TRUE");
  }
  EventLog MakeLog() {
    EventLog log(store_);
    EXPECT_TRUE(log.Initialize());
    return log;
  }
  std::string Folder() const { return dir_ / "OrvexLite/EventLogs"; }
  TempDir dir_;
  RegistryStore store_{dir_ / "config/registry.txt", dir_ / "autostart"};
};

TEST_F(EventLogTest, FirstEventOfADayWritesTheHeaderOnce) {
  EventLog log = MakeLog();
  log.now = [] { return LocalTime(2026, 3, 4, 9, 8, 7); };
  log.LogEvent(RecordingStarted, "Recording started", "/rec/a.mp4");
  const std::string path = Folder() + "/EventLog_20260304.xml";
  EXPECT_EQ(ReadFile(path),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<EventLog>\r\n"
            "  <Event>\r\n    <Type>RecordingStarted</Type>\r\n    <Timestamp>2026-03-04T09:08:07</Timestamp>\r\n"
            "    <Description>Recording started</Description>\r\n    <Details>/rec/a.mp4</Details>\r\n  </Event>\r\n");
  log.LogEvent(ApplicationExited, "", "");
  EXPECT_EQ(ReadFile(path).substr(ReadFile(path).find("</Event>\r\n") + 10),
            "  <Event>\r\n    <Type>ApplicationExited</Type>\r\n    <Timestamp>2026-03-04T09:08:07</Timestamp>\r\n"
            "    <Description></Description>\r\n  </Event>\r\n");
}

TEST_F(EventLogTest, TextsRoundTripThroughEscaping) {
  EventLog log = MakeLog();
  const std::string tricky = "a < b & \"c\" 'd' > e";
  const std::string reference = "&lt; stays text";
  const std::string multiLine = "first line\r\nsecond line\nthird";
  log.LogEvent(Info, tricky, reference);
  log.LogEvent(Warning, multiLine, "");
  const std::string file = ReadFile(log.ListLogFiles().at(0));
  EXPECT_NE(file.find("a &lt; b &amp; &quot;c&quot; &apos;d&apos; &gt; e"), std::string::npos);
  EXPECT_NE(file.find("<Details>&amp;lt; stays text</Details>"), std::string::npos);
  EXPECT_NE(file.find("first line&#13;&#10;second line&#10;third"), std::string::npos);
  const auto events = log.ReadAllEvents();
  ASSERT_EQ(events.size(), 2u);
  bool sawTricky = false, sawMultiLine = false;
  for (const auto& event : events) {
    if (event.type == Info) {
      sawTricky = true;
      EXPECT_EQ(event.description, tricky);
      EXPECT_EQ(event.details, reference);
    } else {
      sawMultiLine = true;
      EXPECT_EQ(event.type, Warning);
      EXPECT_EQ(event.description, multiLine);
    }
  }
  EXPECT_TRUE(sawTricky && sawMultiLine);
}

TEST_F(EventLogTest, ReaderIsLenientWithForeignContent) {
  std::filesystem::create_directories(Folder());
  std::ofstream(Folder() + "/EventLog_20260101.xml")
      << "<?xml version=\"1.0\"?>\n<EventLog>\n  <Event>\n    <Type>SomethingNew</Type>\n"
      << "    <Timestamp>2026-01-01T10:00:00</Timestamp>\n  <Description>x</Description>\n  </Event>\n"
      << "  <Event>\n    <Type>Error</Type>\n  <Event>\n    <Type>Info</Type>\n  </Event>\n"
      << "  <Event>\n    <Type>Warning</Type>\n";  // never closed: dropped
  const auto events = ReadEventFile(Folder() + "/EventLog_20260101.xml");
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].type, RecordingStarted);  // an unknown type reads as 0
  EXPECT_EQ(events[0].description, "x");
  EXPECT_EQ(events[1].type, Info);
  EXPECT_EQ(EventLog::TypeKey(99), "Unknown");
  EXPECT_EQ(EventLog::TypeDisplayName(-1), "Unknown");
  EXPECT_EQ(EventLog::TypeDisplayName(ScheduleRecordingStopped), "Schedule Recording Stopped");
}

TEST_F(EventLogTest, PurgeDeletesFilesOlderThanThirtyDays) {
  std::filesystem::create_directories(Folder());
  const std::time_t today = LocalTime(2026, 12, 9, 15);
  auto dayFile = [&](int daysBack) {
    std::time_t then = today - daysBack * 86400;
    std::tm local{};
    localtime_r(&then, &local);
    char name[64];
    std::snprintf(name, sizeof(name), "/EventLog_%04d%02d%02d.xml", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday);
    std::ofstream(Folder() + name) << "x";
    return Folder() + name;
  };
  const std::string old = dayFile(31), recent = dayFile(29);
  for (const char* odd : {"/EventLog_1.xml", "/EventLog_abcdefgh.xml", "/EventLog_20261399.xml", "/eventlog_19600101.XML"})
    std::ofstream(Folder() + odd) << "x";
  std::filesystem::create_directories(Folder() + "/EventLog_20000101.xml");  // a folder is no log file

  EventLog log(store_);
  log.now = [today] { return today; };
  ASSERT_TRUE(log.Initialize());
  EXPECT_FALSE(std::filesystem::exists(old));
  EXPECT_TRUE(std::filesystem::exists(recent));
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/EventLog_1.xml"));
  EXPECT_TRUE(std::filesystem::exists(Folder() + "/EventLog_abcdefgh.xml"));
  EXPECT_EQ(log.ListLogFiles().size(), 5u);  // recent, four odd names; not the folder
}

TEST_F(EventLogTest, SwitchFollowsTheStoredValue) {
  for (const auto& [text, on] : std::vector<std::pair<std::string, bool>>{
           {"TRUE", true}, {"1", true}, {"true", false}, {"yes", false}}) {
    store_.WriteValue(kRootKey, "LoggingEnabled", text);
    EventLog log(store_);
    log.Initialize();
    EXPECT_EQ(log.enabled, on) << text;
  }
  store_.DeleteValue(kRootKey, "LoggingEnabled");
  EventLog log(store_);
  log.Initialize();
  EXPECT_FALSE(log.enabled);
  log.LogEvent(Info, "ignored", "");
  EXPECT_TRUE(log.ListLogFiles().empty());
  log.enabled = true;
  log.SaveLoggingEnabled();
  EXPECT_EQ(store_.ReadValue(kRootKey, "LoggingEnabled"), "TRUE");

  std::filesystem::remove_all(Folder());  // deleted while running: made again
  log.LogEvent(Info, "again", "");
  EXPECT_EQ(log.ListLogFiles().size(), 1u);
}

TEST_F(EventLogTest, ReadAllEventsIsNewestFirstAcrossFiles) {
  EventLog log = MakeLog();
  const std::time_t days[] = {LocalTime(2026, 12, 1, 8), LocalTime(2026, 12, 3, 8), LocalTime(2026, 12, 2, 23, 59, 59),
                              LocalTime(2026, 12, 3, 7)};
  for (std::time_t day : days) {
    log.now = [day] { return day; };
    log.LogEvent(Info, std::to_string(day), "");
  }
  const auto events = log.ReadAllEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].timestamp, "2026-12-03T08:00:00");
  EXPECT_EQ(events[1].timestamp, "2026-12-03T07:00:00");
  EXPECT_EQ(events[2].timestamp, "2026-12-02T23:59:59");
  EXPECT_EQ(events[3].timestamp, "2026-12-01T08:00:00");
}

TEST_F(EventLogTest, ConcurrentAppendsNeverInterleave) {
  constexpr int kEach = 200;
  EventLog log = MakeLog();
  const pid_t child = ::fork();
  if (child == 0) {
    EventLog other(store_);
    other.Initialize();
    std::thread a([&] { for (int i = 0; i < kEach; ++i) other.LogEvent(Info, "child a " + std::to_string(i), "x"); });
    for (int i = 0; i < kEach; ++i) other.LogEvent(Warning, "child b " + std::to_string(i), "y");
    a.join();
    ::_exit(0);
  }
  std::thread a([&] { for (int i = 0; i < kEach; ++i) log.LogEvent(Info, "parent a " + std::to_string(i), "x"); });
  for (int i = 0; i < kEach; ++i) log.LogEvent(Warning, "parent b " + std::to_string(i), "y");
  a.join();
  int status = 0;
  ::waitpid(child, &status, 0);
  const auto files = log.ListLogFiles();
  // Events made around midnight may land in two files: count over all.
  size_t total = 0, headers = 0;
  for (const auto& path : files) {
    total += ReadEventFile(path).size();
    const std::string text = ReadFile(path);
    for (size_t at = text.find("<EventLog>"); at != std::string::npos; at = text.find("<EventLog>", at + 1)) ++headers;
  }
  EXPECT_EQ(total, 4u * kEach);
  EXPECT_EQ(headers, files.size());
}

TEST_F(EventLogTest, OnlyItsOwnerMayReadTheLog) {
  const mode_t saved = ::umask(0);
  EventLog log = MakeLog();
  log.LogEvent(RecordingStarted, "Recording started", "/home/user/Videos/Take.mp4");
  ::umask(saved);
  const std::vector<std::string> files = log.ListLogFiles();
  ASSERT_EQ(files.size(), 1u);
  struct stat file {}, folder {};
  ASSERT_EQ(::stat(files[0].c_str(), &file), 0);
  ASSERT_EQ(::stat(Folder().c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
}

}  // namespace
