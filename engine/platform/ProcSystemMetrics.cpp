// Measurements from /proc: /proc/stat deltas, /proc/self/statm, /proc/meminfo.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/SystemMetrics.h"

namespace capmill::platform {
namespace {

struct CpuSample {
  uint64_t total = 0;
  uint64_t idle = 0;
};

bool ReadCpuSample(CpuSample& sample) {
  std::ifstream stat("/proc/stat");
  std::string label;
  if (!(stat >> label) || label != "cpu") return false;
  uint64_t values[10] = {};
  int count = 0;
  while (count < 10 && stat >> values[count]) ++count;
  if (count < 4) return false;
  sample = {};
  for (int i = 0; i < count; ++i) sample.total += values[i];
  sample.idle = values[3] + (count > 4 ? values[4] : 0);  // idle + iowait
  return true;
}

class ProcSystemMetrics : public SystemMetrics {
 public:
  bool OpenCpuCounter() override { return ReadCpuSample(current_); }
  bool CollectCpuCounter() override {
    CpuSample next;
    if (!ReadCpuSample(next)) return false;
    previous_ = current_;
    current_ = next;
    return true;
  }
  bool ReadCpuPercent(double& percent) override {
    const uint64_t total = current_.total - previous_.total;
    const uint64_t idle = current_.idle - previous_.idle;
    if (current_.total < previous_.total) return false;
    percent = total == 0 ? 0.0 : 100.0 * static_cast<double>(total - idle) / static_cast<double>(total);
    return true;
  }
  bool ReadWorkingSet(uint64_t& bytes) override {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    if (!(statm >> size >> resident)) return false;
    bytes = resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    return true;
  }
  bool ReadMemoryStatus(uint64_t& totalBytes, uint64_t& availableBytes) override {
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    uint64_t totalKb = 0, availableKb = 0;
    while (std::getline(meminfo, line)) {
      std::sscanf(line.c_str(), "MemTotal: %lu kB", &totalKb);
      std::sscanf(line.c_str(), "MemAvailable: %lu kB", &availableKb);
    }
    if (totalKb == 0) return false;
    totalBytes = totalKb * 1024;
    availableBytes = availableKb * 1024;
    return true;
  }

 private:
  CpuSample previous_;
  CpuSample current_;
};

}  // namespace

std::unique_ptr<SystemMetrics> MakeSystemMetrics() { return std::make_unique<ProcSystemMetrics>(); }

}  // namespace capmill::platform
