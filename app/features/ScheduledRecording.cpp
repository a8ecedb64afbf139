#include "features/ScheduledRecording.h"

#include <cctype>

#include "core/Settings.h"
#include "platform/DebugChannel.h"
#include "platform/RegistryStore.h"

namespace orvex {

const char* const kMonthAbbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

constexpr int kLastStoredNumber = 99;
constexpr char kEnabledName[] = "EnableScheduledRecording";
constexpr char kDoNotStreamName[] = "DoNotStreamWithScheduledRecording";
constexpr char kCountName[] = "ScheduledRecordingCount";

std::string Trim(const std::string& text) {
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  size_t begin = 0, end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A whole decimal number of at most six digits, nothing else.
std::optional<int> Number(const std::string& text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool SameIgnoringCase(const std::string& a, const char* b) {
  const std::string other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(other[i])))
      return false;
  return true;
}

std::string ValueName(int number, const char* field) { return Printf("ScheduledRecording%d_%s", number, field); }

}  // namespace

std::optional<ScheduleDate> ParseScheduleDate(const std::string& text) {
  const std::string trimmed = Trim(text);
  const size_t first = trimmed.find('-');
  if (first == std::string::npos || first == 0) return std::nullopt;
  const size_t second = trimmed.find('-', first + 1);
  if (second == std::string::npos) return std::nullopt;
  ScheduleDate date;
  const std::string month = trimmed.substr(0, first);
  for (int i = 0; i < 12; ++i)
    if (SameIgnoringCase(month, kMonthAbbreviations[i])) date.month = i + 1;
  const auto day = Number(trimmed.substr(first + 1, second - first - 1));
  const auto year = Number(trimmed.substr(second + 1));
  if (date.month == 0 || !day || *day < 1 || *day > 31 || !year || *year < 1900 || *year > 2100) return std::nullopt;
  date.day = *day;
  date.year = *year;
  return date;
}

std::optional<int> ParseScheduleTime(const std::string& text) {
  const std::string trimmed = Trim(text);
  const size_t colon = trimmed.find(':');
  if (colon == std::string::npos || colon == 0) return std::nullopt;
  const std::string rest = Trim(trimmed.substr(colon + 1));
  const size_t blank = rest.find(' ');
  if (blank == std::string::npos || blank == 0) return std::nullopt;
  std::string amPm = Trim(rest.substr(blank + 1));
  for (char& c : amPm) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const auto hour = Number(trimmed.substr(0, colon));
  const auto minute = Number(rest.substr(0, blank));
  if (!hour || *hour < 1 || *hour > 12 || !minute || *minute > 59 || (amPm != "AM" && amPm != "PM"))
    return std::nullopt;
  int hour24 = *hour;
  if (amPm == "AM" && hour24 == 12) hour24 = 0;
  if (amPm == "PM" && hour24 < 12) hour24 += 12;
  return hour24 * 60 + *minute;
}

std::string FormatScheduleDate(const ScheduleDate& date) {
  const char* month = date.month >= 1 && date.month <= 12 ? kMonthAbbreviations[date.month - 1] : "";
  return Printf("%s-%02d-%04d", month, date.day, date.year);
}

std::string FormatScheduleTime(const std::string& hourText, const std::string& minuteText, const std::string& amPm) {
  return Printf("%s:%s %s", Printf("%02d", LeadingNumber(hourText)).c_str(), minuteText.c_str(), amPm.c_str());
}

ScheduleBook ReadScheduleBook(const Settings& settings) {
  ScheduleBook book;
  book.schedulingEnabled = settings.ReadFlag(kEnabledName);
  book.doNotStream = settings.ReadFlag(kDoNotStreamName);
  const auto countText = settings.ReadText(kCountName);
  const int count = countText ? LeadingNumber(*countText) : 0;
  for (int n = 0; n < count; ++n) {
    const auto date = settings.ReadText(ValueName(n, "Date"));
    const auto from = settings.ReadText(ValueName(n, "FromTime"));
    const auto to = settings.ReadText(ValueName(n, "ToTime"));
    if (!date || !from || !to) continue;
    ScheduledRecording entry;
    entry.date = *date;
    entry.fromTime = *from;
    entry.toTime = *to;
    const auto enabled = settings.ReadText(ValueName(n, "Enabled"));
    entry.enabled = !enabled || *enabled == "TRUE";
    if (const auto status = settings.ReadText(ValueName(n, "Status"))) entry.status = *status;
    if (const auto file = settings.ReadText(ValueName(n, "FilePath"))) entry.recordedFile = *file;
    entry.number = n;
    book.entries.push_back(std::move(entry));
  }
  return book;
}

std::vector<int> WriteScheduleBook(Settings& settings, ScheduleBook& book) {
  // What the schedule wrote while the list was being edited is kept.
  for (ScheduledRecording& entry : book.entries) {
    if (entry.number < 0) continue;
    if (const auto status = settings.ReadText(ValueName(entry.number, "Status"))) entry.status = *status;
    if (const auto file = settings.ReadText(ValueName(entry.number, "FilePath")); file && !file->empty())
      entry.recordedFile = *file;
  }
  settings.WriteFlag(kEnabledName, book.schedulingEnabled);
  settings.WriteFlag(kDoNotStreamName, book.doNotStream);
  const int count = static_cast<int>(book.entries.size());
  settings.WriteNumber(kCountName, count);
  for (int n = count; n <= kLastStoredNumber; ++n)
    for (const char* field : {"Date", "FromTime", "ToTime", "Enabled"})
      settings.store().DeleteValue(kRootKey, ValueName(n, field));
  std::vector<int> previousNumbers;
  for (int n = 0; n < count; ++n) {
    ScheduledRecording& entry = book.entries[n];
    settings.WriteText(ValueName(n, "Date"), entry.date);
    settings.WriteText(ValueName(n, "FromTime"), entry.fromTime);
    settings.WriteText(ValueName(n, "ToTime"), entry.toTime);
    settings.WriteFlag(ValueName(n, "Enabled"), entry.enabled);
    settings.WriteText(ValueName(n, "Status"), entry.status);
    settings.WriteText(ValueName(n, "FilePath"), entry.recordedFile);
    previousNumbers.push_back(entry.number);
    entry.number = n;
  }
  return previousNumbers;
}

void WriteScheduleStatus(Settings& settings, int number, const std::string& status, const std::string& path) {
  if (number < 0) return;
  settings.WriteText(ValueName(number, "Status"), status);
  if (!path.empty()) settings.WriteText(ValueName(number, "FilePath"), path);
}

}  // namespace orvex
