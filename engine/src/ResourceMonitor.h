// Resource monitoring and adaptive quality: the check every capture thread
// runs once per packet.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/SystemMetrics.h"

namespace capmill {

constexpr uint64_t kMiB = 1024ull * 1024;

// Limits derived from what the system has left (strict comparisons).
uint64_t DerivedMemoryLimit(double freeMemoryPercent);
double DerivedCpuLimit(double freeCpuPercent);

class ResourceMonitor {
 public:
  explicit ResourceMonitor(std::unique_ptr<platform::SystemMetrics> metrics);

  // The check: true when within limits. Takes EngineLock.
  bool Check();
  // One CPU measurement (the first after opening is always 0.0). No lock.
  double CpuPercent();
  // One system memory measurement in percent of physical memory used.
  double MemoryPercent();

  // Setters and readers under EngineLock (the dynamic switch excepted).
  void SetMonitoringEnabled(bool enabled);
  void SetDynamicLimitsEnabled(bool enabled) { dynamicLimits_ = enabled; }
  void SetMaxMemory(uint64_t bytes);
  void SetMaxCpu(double percent);
  bool MemoryWithinLimit();
  int Level();
  uint64_t MemoryLimit();
  double CpuLimit();

 private:
  bool CheckLocked();
  void DeriveLimitsLocked();

  std::unique_ptr<platform::SystemMetrics> metrics_;
  // Guarded by EngineLock.
  bool monitoring_ = false;
  uint64_t memoryLimit_ = 500 * kMiB;
  double cpuLimit_ = 80.0;
  double lastCpu_ = 0.0;
  uint64_t lastMemory_ = 0;
  // The measurements' own state: capture threads and the application ask at
  // once, so every reading of the platform counters holds this.
  std::mutex measureLock_;
  bool counterOpened_ = false;  // guarded by measureLock_
  bool counterFailed_ = false;  // guarded by measureLock_
  std::atomic<bool> dynamicLimits_{false};
};

// The engine's monitor, over the real measurements.
ResourceMonitor& Monitor();

// The check as the capture threads run it; also sets the engine's level.
bool CheckSystemResources();

}  // namespace capmill
