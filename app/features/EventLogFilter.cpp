#include "features/EventLogFilter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/DebugChannel.h"
#include "platform/UserPrompts.h"

namespace orvex {
namespace {

bool Digits(const std::string& text, size_t at, size_t length, int& value) {
  value = 0;
  for (size_t i = at; i < at + length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<Day> TimestampDay(const std::string& timestamp) {
  if (timestamp.size() < 10) return std::nullopt;
  Day day;
  if (!Digits(timestamp, 0, 4, day.year) || !Digits(timestamp, 5, 2, day.month) || !Digits(timestamp, 8, 2, day.day))
    return std::nullopt;
  if (day.year < 1970 || day.month < 1 || day.month > 12 || day.day < 1 || day.day > 31) return std::nullopt;
  return day;
}

std::vector<EventRecord> FilterEvents(const std::vector<EventRecord>& newestFirst, int typeFilter, Day from, Day to) {
  std::vector<EventRecord> kept;
  for (const EventRecord& event : newestFirst) {
    const auto day = TimestampDay(event.timestamp);
    if (!day || *day < from || *day > to) continue;
    if (typeFilter != 0 && event.type != typeFilter - 1) continue;
    kept.push_back(event);
  }
  return kept;
}

std::optional<std::string> FileOfEvent(const std::string& typeDisplayName, const std::string& details) {
  static const char* const kFileEvents[] = {"Recording Started",          "Recording Stopped",
                                            "Schedule Recording Started", "Schedule Recording Stopped",
                                            "Background Music Started",   "Background Music Stopped"};
  bool refersToFile = false;
  for (const char* name : kFileEvents)
    if (typeDisplayName.find(name) != std::string::npos) refersToFile = true;
  if (!refersToFile) return std::nullopt;
  const std::string path = TrimBlanks(details);
  if (path.empty()) return std::nullopt;
  if (path[0] == '\\' && (path.size() < 2 || (path[1] != '\\' && path[1] != ':'))) return std::nullopt;
  return path;
}

void OpenEventFile(const std::string& typeDisplayName, const std::string& details, UserPrompts& prompts,
                   const std::function<void(const std::string&)>& openFile) {
  const auto path = FileOfEvent(typeDisplayName, details);
  if (!path) return;
  struct stat info {};
  if (::stat(path->c_str(), &info) != 0) {
    prompts.Tell("File Not Found", "File not found:\n" + *path, UserPrompts::Icon::Warning);
    return;
  }
  openFile(*path);
}

void ClearAllLogs(const EventLog* log, UserPrompts& prompts, const std::function<int(const char*)>& removeFile) {
  using Icon = UserPrompts::Icon;
  if (!log) {
    prompts.Tell("Error", "Event log is not initialized.", Icon::Error);
    return;
  }
  const std::vector<std::string> files = log->ListLogFiles();
  if (files.empty()) {
    prompts.Tell("Information", "No log files found to delete.", Icon::Information);
    return;
  }
  const int count = static_cast<int>(files.size());
  if (!prompts.Ask("Confirm Delete All Logs",
                   Printf("Are you sure you want to delete all %d log file(s)?\n\nThis action cannot be undone.", count),
                   Icon::Question, true))
    return;
  int deleted = 0, failed = 0;
  for (const std::string& path : files) {
    if (removeFile(path.c_str()) == 0) {
      ++deleted;
    } else {
      ++failed;
      DebugOutput(Printf("Failed to delete log file: %s, Error: %d\n", path.c_str(), errno));
    }
  }
  if (failed == 0)
    prompts.Tell("Success", Printf("Successfully deleted %d log file(s).", deleted), Icon::Information);
  else
    prompts.Tell("Warning", Printf("Deleted %d log file(s).\nFailed to delete %d file(s).", deleted, failed),
                 Icon::Warning);
}

}  // namespace orvex
