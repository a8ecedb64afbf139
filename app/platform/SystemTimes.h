// Processor times of the whole system and of this process, and the memory
// load: what the status bar's CPU and RAM figures are made of.
#pragma once

#include <cstdint>

namespace orvex {

struct SystemTimes {
  bool timesOk = false;     // false when the time query failed
  uint64_t idle = 0;        // all processors, in clock ticks
  uint64_t kernel = 0;      // includes idle, as the status figures expect
  uint64_t user = 0;
  uint64_t processKernel = 0;
  uint64_t processUser = 0;
  int memoryLoadPercent = 0;
};

class SystemTimesSource {
 public:
  virtual ~SystemTimesSource() = default;
  virtual SystemTimes Read() = 0;
};

// /proc/stat, /proc/self/stat and /proc/meminfo. Idle counts iowait too.
class ProcSystemTimes : public SystemTimesSource {
 public:
  SystemTimes Read() override;
};

}  // namespace orvex
