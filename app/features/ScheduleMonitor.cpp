#include "features/ScheduleMonitor.h"

#include <ctime>

#include "platform/DebugChannel.h"

namespace orvex {

namespace {

struct Window {
  ScheduleDate date;
  int from = 0, to = 0;
};

// An enabled entry with a date and both times that parse.
std::optional<Window> Parse(const ScheduledRecording& entry) {
  if (!entry.enabled) return std::nullopt;
  const auto date = ParseScheduleDate(entry.date);
  const auto from = ParseScheduleTime(entry.fromTime);
  const auto to = ParseScheduleTime(entry.toTime);
  if (!date || !from || !to) return std::nullopt;
  return Window{*date, *from, *to};
}

std::string WindowKey(const Window& window) {
  return FormatScheduleDate(window.date) + " " + std::to_string(window.from);
}

}  // namespace

LocalClockReading ReadLocalClock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}, local.tm_hour * 60 + local.tm_min};
}

void RunSchedulePass(const LocalClockReading& now, const std::vector<ScheduledRecording>& entries, int activeIndex,
                     bool recording, StartedWindows& started, ScheduleDecisions& sink) {
  const int count = static_cast<int>(entries.size());
  const std::optional<Window> own = activeIndex >= 0 && activeIndex < count ? Parse(entries[activeIndex]) : std::nullopt;
  for (int i = 0; recording && i < count; ++i) {
    const auto window = Parse(entries[i]);
    if (!window) continue;
    const bool stop = own ? i == activeIndex && (now.date > window->date ||
                                                  (now.date == window->date && now.minuteOfDay >= window->to))
                          : window->date == now.date && now.minuteOfDay == window->to;
    if (!stop) continue;
    sink.StopScheduled(entries[i]);
    recording = false;
  }
  for (int i = 0; !recording && i < count; ++i) {
    const auto window = Parse(entries[i]);
    if (!window || window->date != now.date || now.minuteOfDay != window->from) continue;
    if (!started.insert(WindowKey(*window)).second) continue;
    sink.StartScheduled(i, entries[i]);
    recording = true;
  }
}

bool AnyEntryTodayOrLater(const std::vector<ScheduledRecording>& entries, const ScheduleDate& today) {
  for (const ScheduledRecording& entry : entries) {
    if (!entry.enabled) continue;
    if (const auto date = ParseScheduleDate(entry.date); date && *date >= today) return true;
  }
  return false;
}

ScheduleMonitor::ScheduleMonitor(std::function<void()> pass, std::chrono::milliseconds period)
    : pass_(std::move(pass)), period_(period), thread_([this] { Loop(); }) {}

ScheduleMonitor::~ScheduleMonitor() { Stop(); }

void ScheduleMonitor::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ScheduleMonitor::Loop() {
  DebugOutput("Schedule monitoring thread started\n");
  std::unique_lock<std::mutex> guard(lock_);
  while (!stopping_) {
    guard.unlock();
    pass_();
    guard.lock();
    wake_.wait_for(guard, period_, [this] { return stopping_; });
  }
  guard.unlock();
  DebugOutput("Schedule monitoring thread exited\n");
}

}  // namespace orvex
