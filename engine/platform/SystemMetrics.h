// The machine's load and memory as the resource check needs them.
#pragma once

#include <cstdint>
#include <memory>

namespace capmill::platform {

class SystemMetrics {
 public:
  virtual ~SystemMetrics() = default;
  // A processor-time counter: opened once, then each Collect() takes a new
  // sample and ReadCpuPercent() gives the load between the last two samples.
  virtual bool OpenCpuCounter() = 0;
  virtual bool CollectCpuCounter() = 0;
  virtual bool ReadCpuPercent(double& percent) = 0;
  // The process's resident memory in bytes.
  virtual bool ReadWorkingSet(uint64_t& bytes) = 0;
  // Physical memory of the machine.
  virtual bool ReadMemoryStatus(uint64_t& totalBytes, uint64_t& availableBytes) = 0;
};

// The real measurements of this platform.
std::unique_ptr<SystemMetrics> MakeSystemMetrics();

}  // namespace capmill::platform
