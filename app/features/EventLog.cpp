#include "features/EventLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "core/Settings.h"
#include "platform/DebugChannel.h"
#include "platform/KnownFolders.h"
#include "platform/RegistryStore.h"

namespace orvex {
namespace {

constexpr long kPurgeAgeSeconds = 2592000;  // 30 days
constexpr size_t kMaxLineLength = 4095;
constexpr size_t kMinDatedNameLength = 20;
constexpr const char kLineEnd[] = "\r\n";

struct TypeNames {
  const char* key;
  const char* display;
};
constexpr TypeNames kTypeNames[kEventTypeCount] = {
    {"RecordingStarted", "Recording Started"},
    {"RecordingStopped", "Recording Stopped"},
    {"RecordingPaused", "Recording Paused"},
    {"RecordingResumed", "Recording Resumed"},
    {"SettingsChanged", "Settings Changed"},
    {"StreamingStarted", "Streaming Started"},
    {"StreamingStopped", "Streaming Stopped"},
    {"ScheduleRecordingStarted", "Schedule Recording Started"},
    {"ScheduleRecordingStopped", "Schedule Recording Stopped"},
    {"BackgroundMusicStarted", "Background Music Started"},
    {"BackgroundMusicStopped", "Background Music Stopped"},
    {"ApplicationStarted", "Application Started"},
    {"ApplicationExited", "Application Exited"},
    {"Error", "Error"},
    {"Warning", "Warning"},
    {"Info", "Info"},
};

// Serialises LogEvent calls of this process; the file lock covers others.
std::mutex& AppendLock() {
  static std::mutex lock;
  return lock;
}

// A folder only its owner may enter, whatever the umask; false (errno set)
// when it could not be made.
bool MakeOwnerFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0) return false;
  ::chmod(path.c_str(), 0700);
  return true;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

void ApplyElement(const std::string& line, EventRecord& event) {
  const size_t lt = line.find('<'), gt = line.find('>');
  if (lt == std::string::npos || gt == std::string::npos || lt > gt) return;
  const std::string name = line.substr(lt + 1, gt - lt - 1);
  const size_t end = line.find("</");
  if (end == std::string::npos || end <= gt) return;
  const std::string value = UnescapeEventText(line.substr(gt + 1, end - gt - 1));
  if (name == "Type") {
    for (int type = 0; type < kEventTypeCount; ++type)
      if (value == kTypeNames[type].key) event.type = type;
  } else if (name == "Timestamp") {
    event.timestamp = value;
  } else if (name == "Description") {
    event.description = value;
  } else if (name == "Details") {
    event.details = value;
  }
}

// Local midnight of a dated file name, or -1 when the digits are no date.
std::time_t FileDay(const std::string& name) {
  auto number = [&](size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) {
      if (name[i] < '0' || name[i] > '9') return -1;
      value = value * 10 + (name[i] - '0');
    }
    return value;
  };
  const int year = number(9, 4), month = number(13, 2), day = number(15, 2);
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31) return -1;
  std::tm date{};
  date.tm_year = year - 1900;
  date.tm_mon = month - 1;
  date.tm_mday = day;
  date.tm_isdst = -1;  // the platform decides daylight saving
  return std::mktime(&date);
}

}  // namespace

std::string TrimBlanks(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string EscapeEventText(const std::string& text) {
  std::string escaped = ReplaceAll(text, "&", "&amp;");
  escaped = ReplaceAll(escaped, "<", "&lt;");
  escaped = ReplaceAll(escaped, ">", "&gt;");
  escaped = ReplaceAll(escaped, "\"", "&quot;");
  escaped = ReplaceAll(escaped, "'", "&apos;");
  // A line break would split the element over lines the reader cannot join.
  escaped = ReplaceAll(escaped, "\r", "&#13;");
  return ReplaceAll(escaped, "\n", "&#10;");
}

std::string UnescapeEventText(const std::string& text) {
  static const std::pair<const char*, char> kReferences[] = {{"&amp;", '&'},  {"&lt;", '<'},    {"&gt;", '>'},
                                                            {"&quot;", '"'}, {"&apos;", '\''}, {"&#13;", '\r'},
                                                            {"&#10;", '\n'}};
  std::string out;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto& [reference, character] : kReferences) {
        if (text.compare(i, std::char_traits<char>::length(reference), reference) == 0) {
          out += character;
          i += std::char_traits<char>::length(reference);
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

std::vector<EventRecord> ReadEventFile(const std::string& path) {
  std::vector<EventRecord> events;
  std::ifstream file(path, std::ios::binary);
  if (!file) return events;
  EventRecord current;
  bool inside = false;
  std::string raw;
  while (std::getline(file, raw)) {
    for (size_t at = 0; at == 0 || at < raw.size(); at += kMaxLineLength) {
      const std::string line = TrimBlanks(raw.substr(at, kMaxLineLength));
      if (line.find("<Event>") != std::string::npos) {
        current = EventRecord();
        inside = true;
      } else if (line.find("</Event>") != std::string::npos) {
        if (inside) events.push_back(current);
        inside = false;
      } else if (inside) {
        ApplyElement(line, current);
      }
      if (raw.empty()) break;
    }
  }
  return events;
}

EventLog::EventLog(RegistryStore& store) : store_(store) {}

std::string EventLog::TypeKey(int type) { return type >= 0 && type < kEventTypeCount ? kTypeNames[type].key : "Unknown"; }

std::string EventLog::TypeDisplayName(int type) {
  return type >= 0 && type < kEventTypeCount ? kTypeNames[type].display : "Unknown";
}

bool EventLog::FindFolder() {
  const std::string appData = RoamingAppDataFolder();
  if (appData.empty()) {
    folder.clear();
    return false;
  }
  folder = appData + "/OrvexLite/EventLogs";
  return true;
}

bool EventLog::Initialize() {
  if (!FindFolder()) {
    DebugOutput("EventLog: Failed to get AppData folder path\n");
    return false;
  }
  DebugOutput(Printf("EventLog: Initializing, log folder: %s\n", folder.c_str()));
  if (!IsDirectory(folder)) {
    const std::string parent = ParentOf(folder);
    if (!IsDirectory(parent)) MakeOwnerFolder(parent);
    if (!MakeOwnerFolder(folder) && errno != EEXIST) return false;
  }
  store_.CreateKey(kRootKey);
  if (const auto value = store_.ReadValue(kRootKey, "LoggingEnabled")) enabled = *value == "TRUE" || *value == "1";
  PurgeOldLogs();
  return true;
}

void EventLog::PurgeOldLogs() {
  const std::time_t current = now();
  for (const std::string& path : ListLogFiles()) {
    const std::string name = path.substr(path.rfind('/') + 1);
    if (name.size() < kMinDatedNameLength) continue;
    const std::time_t day = FileDay(name);
    if (day >= 0 && current - day > kPurgeAgeSeconds) std::remove(path.c_str());
  }
}

void EventLog::LogEvent(EventType type, const std::string& description, const std::string& details) {
  if (!enabled) {
    DebugOutput("EventLog: Logging is disabled, event not logged\n");
    return;
  }
  if (folder.empty() && !FindFolder()) {
    DebugOutput("EventLog: AppData folder path is empty\n");
    return;
  }
  std::lock_guard<std::mutex> hold(AppendLock());
  DebugOutput(Printf("EventLog: Writing to folder: %s\n", folder.c_str()));
  if (!IsDirectory(folder)) {
    MakeOwnerFolder(ParentOf(folder));
    MakeOwnerFolder(folder);
  }
  const std::time_t moment = now();
  std::tm local{};
  localtime_r(&moment, &local);
  const std::string path = folder + "/" + Printf("EventLog_%04d%02d%02d.xml", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  // The log names the user's files and servers: for the owner only, whatever the umask.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    DebugOutput(Printf("EventLog: Failed to open log file: %s, Error: %d\n", path.c_str(), errno));
    return;
  }
  ::fchmod(fd, 0600);
  ::flock(fd, LOCK_EX);
  struct stat info {};
  std::string block;
  if (::fstat(fd, &info) == 0 && info.st_size == 0)
    block = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + kLineEnd + "<EventLog>" + kLineEnd;
  const std::string timestamp = Printf("%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                                       local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  block += std::string("  <Event>") + kLineEnd;
  block += "    <Type>" + TypeKey(type) + "</Type>" + kLineEnd;
  block += "    <Timestamp>" + timestamp + "</Timestamp>" + kLineEnd;
  block += "    <Description>" + EscapeEventText(description) + "</Description>" + kLineEnd;
  if (!details.empty()) block += "    <Details>" + EscapeEventText(details) + "</Details>" + kLineEnd;
  block += std::string("  </Event>") + kLineEnd;
  const bool written = ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
  ::close(fd);  // also releases the lock
  if (written) DebugOutput(Printf("EventLog: Event written successfully to: %s\n", path.c_str()));
}

void EventLog::SaveLoggingEnabled() { store_.WriteValue(kRootKey, "LoggingEnabled", enabled ? "TRUE" : "FALSE"); }

std::vector<std::string> EventLog::ListLogFiles() const {
  std::vector<std::string> paths;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return paths;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() < 13 || strncasecmp(name.c_str(), "EventLog_", 9) != 0 ||
        strcasecmp(name.c_str() + name.size() - 4, ".xml") != 0)
      continue;
    const std::string path = folder + "/" + name;
    if (!IsDirectory(path)) paths.push_back(path);
  }
  ::closedir(dir);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::vector<EventRecord> EventLog::ReadAllEvents() const {
  std::vector<EventRecord> events;
  for (const std::string& path : ListLogFiles()) {
    std::vector<EventRecord> fileEvents = ReadEventFile(path);
    events.insert(events.end(), fileEvents.begin(), fileEvents.end());
  }
  std::stable_sort(events.begin(), events.end(),
                   [](const EventRecord& a, const EventRecord& b) { return a.timestamp > b.timestamp; });
  return events;
}

}  // namespace orvex
