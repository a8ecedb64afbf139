// Runs a blocking recording call on a worker thread for a set time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "Processes.h"
#include "capmill/capmill.h"

namespace testsupport {

struct TimedRecording {
  bool started = false;       // the capture clock ran
  double stopToReturnSeconds = 0;
};

// Starts the call, waits until its clock runs (set-up done), runs `during` and
// then waits until `seconds` of recording have passed, stops and joins.
inline TimedRecording RecordFor(const std::function<void()>& call, double seconds,
                                const std::function<void()>& during = {}) {
  using namespace std::chrono;
  TimedRecording result;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    call();
    returned = true;
  });
  WaitUntil([&] { return qelGetGlobalTimer() != nullptr || returned; }, milliseconds(15000));
  result.started = qelGetGlobalTimer() != nullptr;
  const auto begin = steady_clock::now();
  if (result.started && during) during();
  if (result.started) std::this_thread::sleep_until(begin + duration<double>(seconds));
  const auto stop = steady_clock::now();
  qelStopRecording();
  worker.join();
  result.stopToReturnSeconds = duration<double>(steady_clock::now() - stop).count();
  return result;
}

}  // namespace testsupport
