// The event log: one XML-like text file per day of what the application did,
// appended to, read back newest first and purged after 30 days.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace orvex {

class RegistryStore;

enum EventType : int {
  RecordingStarted = 0,
  RecordingStopped,
  RecordingPaused,
  RecordingResumed,
  SettingsChanged,
  StreamingStarted,
  StreamingStopped,
  ScheduleRecordingStarted,
  ScheduleRecordingStopped,
  BackgroundMusicStarted,
  BackgroundMusicStopped,
  ApplicationStarted,
  ApplicationExited,
  Error,
  Warning,
  Info,
};
constexpr int kEventTypeCount = 16;

struct EventRecord {
  int type = RecordingStarted;
  std::string timestamp;  // "%04d-%02d-%02dT%02d:%02d:%02d", local time
  std::string description;
  std::string details;
};

class EventLog {
 public:
  explicit EventLog(RegistryStore& store);

  // Finds and creates the folder, reads the switch and purges old files.
  bool Initialize();
  void PurgeOldLogs();
  // Appends one event to the day's file when logging is on. Thread safe; a
  // whole block is appended with one write under a file lock, so events of
  // other processes never interleave with it.
  void LogEvent(EventType type, const std::string& description, const std::string& details);
  void SaveLoggingEnabled();
  std::vector<std::string> ListLogFiles() const;
  std::vector<EventRecord> ReadAllEvents() const;

  static std::string TypeKey(int type);
  static std::string TypeDisplayName(int type);

  bool enabled = false;
  std::string folder;
  // The wall clock, replaceable so tests can write on chosen days.
  std::function<std::time_t()> now = [] { return std::time(nullptr); };

 private:
  bool FindFolder();
  RegistryStore& store_;
};

// The escaping of description and details, and its inverse.
std::string EscapeEventText(const std::string& text);
std::string UnescapeEventText(const std::string& text);
// The text without blanks, tabs, carriage returns and line feeds at its ends.
std::string TrimBlanks(const std::string& text);
// The events of one file, in file order.
std::vector<EventRecord> ReadEventFile(const std::string& path);

}  // namespace orvex
