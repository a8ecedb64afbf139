// One window of the recording schedule, its date and time texts, and the
// list as the store keeps it under the root key.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <vector>

namespace orvex {

class Settings;

inline constexpr char kStatusNotStarted[] = "Not Started";
inline constexpr char kStatusRecording[] = "Recording";
inline constexpr char kStatusCompleted[] = "Completed";

struct ScheduledRecording {
  std::string date;      // "Jan-15-2024"
  std::string fromTime;  // "09:00 AM"
  std::string toTime;
  bool enabled = true;
  std::string status = kStatusNotStarted;
  std::string recordedFile;
  // The store number the entry was read from (-1: not stored yet). Numbers
  // with no date are skipped when reading, so it can differ from the position.
  int number = -1;
};

struct ScheduleDate {
  int year = 0, month = 0, day = 0;
  auto operator<=>(const ScheduleDate&) const = default;
};

// Fixed English abbreviations, whatever the user's locale.
extern const char* const kMonthAbbreviations[12];

// "MMM-dd-yyyy", month compared without regard to case; day 1-31, year 1900-2100.
std::optional<ScheduleDate> ParseScheduleDate(const std::string& text);
// "hh:mm AM|PM", hour 1-12, minute 0-59: the minute of the day (12:00 AM is 0).
std::optional<int> ParseScheduleTime(const std::string& text);
std::string FormatScheduleDate(const ScheduleDate& date);
// From the three boxes' texts: the hour as a number written "%02d".
std::string FormatScheduleTime(const std::string& hourText, const std::string& minuteText, const std::string& amPm);

// The two switches and the list.
struct ScheduleBook {
  bool schedulingEnabled = false;
  bool doNotStream = false;
  std::vector<ScheduledRecording> entries;
};

ScheduleBook ReadScheduleBook(const Settings& settings);
// Writes the switches, the count and every entry under its position, and
// deletes the window values of the numbers past the end. The status and file
// of an entry read from the store are taken from the store again first: the
// schedule may have written them since. Each entry's number becomes its
// position; the result holds, by new position, the number it had before.
std::vector<int> WriteScheduleBook(Settings& settings, ScheduleBook& book);
// The status, and the file when one is given, of store number `number`.
void WriteScheduleStatus(Settings& settings, int number, const std::string& status, const std::string& path);

}  // namespace orvex
