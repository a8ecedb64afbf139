// The schedule's pass over its list, and the thread that runs one pass per
// period. The pass decides; what starts and stops recordings is the sink's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "features/ScheduledRecording.h"

namespace orvex {

// The local date and the minute of the day (hour * 60 + minute).
struct LocalClockReading {
  ScheduleDate date;
  int minuteOfDay = 0;
};
LocalClockReading ReadLocalClock();

class ScheduleDecisions {
 public:
  virtual ~ScheduleDecisions() = default;
  virtual void StartScheduled(int position, const ScheduledRecording& entry) = 0;
  virtual void StopScheduled(const ScheduledRecording& entry) = 0;
};

// The windows that have started, by date and from time: a window starts once,
// even when its minute is seen again after a stop or when the clock is put back.
using StartedWindows = std::set<std::string>;

// One pass. activeIndex is the position of the entry whose recording the
// schedule started (-1 none); recording says whether any recording runs.
// Stops come first, so a window that ends as the next begins hands over.
// The schedule's own recording stops at the first pass at or after its
// entry's end, or on a later date: a skipped minute must not leave it
// running. Any other recording stops at any entry's exact end minute.
void RunSchedulePass(const LocalClockReading& now, const std::vector<ScheduledRecording>& entries, int activeIndex,
                     bool recording, StartedWindows& started, ScheduleDecisions& sink);

// Whether an enabled entry lies today or later (times do not matter).
bool AnyEntryTodayOrLater(const std::vector<ScheduledRecording>& entries, const ScheduleDate& today);

// Runs `pass` at once and then once per period until stopped. The wait is on
// a condition, so Stop returns at once whatever the period.
class ScheduleMonitor {
 public:
  ScheduleMonitor(std::function<void()> pass, std::chrono::milliseconds period);
  ~ScheduleMonitor();
  ScheduleMonitor(const ScheduleMonitor&) = delete;
  ScheduleMonitor& operator=(const ScheduleMonitor&) = delete;
  void Stop();

 private:
  void Loop();

  std::function<void()> pass_;
  std::chrono::milliseconds period_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace orvex
