// What the event log viewer lists and does, apart from its window.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "features/EventLog.h"

namespace orvex {

class UserPrompts;

struct Day {
  int year = 0, month = 0, day = 0;
  auto operator<=>(const Day&) const = default;
};

// The date at the start of a timestamp, when its first ten characters form
// one (year from 1970, month 1-12, day 1-31).
std::optional<Day> TimestampDay(const std::string& timestamp);

// typeFilter: 0 for "All", n for event type n - 1. Both days are included.
std::vector<EventRecord> FilterEvents(const std::vector<EventRecord>& newestFirst, int typeFilter, Day from, Day to);

// The file a row refers to, for the recording and music event types; nothing
// for other rows, empty details, or a path starting with a lone backslash.
std::optional<std::string> FileOfEvent(const std::string& typeDisplayName, const std::string& details);

// Double-click on a row: "File not found" when the file is gone, else open it.
void OpenEventFile(const std::string& typeDisplayName, const std::string& details, UserPrompts& prompts,
                   const std::function<void(const std::string&)>& openFile);

// "Clear All Logs": asks, deletes every daily file with removeFile and
// reports the result.
void ClearAllLogs(const EventLog* log, UserPrompts& prompts,
                  const std::function<int(const char*)>& removeFile = [](const char* path) { return std::remove(path); });

}  // namespace orvex
