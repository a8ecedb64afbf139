#include "src/ResourceMonitor.h"

#include <algorithm>

#include "src/EngineState.h"

namespace capmill {

uint64_t DerivedMemoryLimit(double freeMemoryPercent) {
  if (freeMemoryPercent > 50) return 1024 * kMiB;
  if (freeMemoryPercent > 25) return 512 * kMiB;
  if (freeMemoryPercent > 10) return 256 * kMiB;
  return 128 * kMiB;
}

double DerivedCpuLimit(double freeCpuPercent) {
  if (freeCpuPercent > 60) return 90.0;
  if (freeCpuPercent > 30) return 70.0;
  if (freeCpuPercent > 15) return 50.0;
  return 30.0;
}

ResourceMonitor::ResourceMonitor(std::unique_ptr<platform::SystemMetrics> metrics) : metrics_(std::move(metrics)) {}

double ResourceMonitor::CpuPercent() {
  std::lock_guard<std::mutex> hold(measureLock_);
  if (counterFailed_) return 0.0;
  if (!counterOpened_) {
    // The first reading has nothing to compare with: it is always 0.0.
    if (!metrics_->OpenCpuCounter() || !metrics_->CollectCpuCounter()) counterFailed_ = true;
    else counterOpened_ = true;
    return 0.0;
  }
  double percent = 0.0;
  if (!metrics_->CollectCpuCounter() || !metrics_->ReadCpuPercent(percent)) return 0.0;
  return percent;
}

double ResourceMonitor::MemoryPercent() {
  std::lock_guard<std::mutex> hold(measureLock_);
  uint64_t total = 0, available = 0;
  if (!metrics_->ReadMemoryStatus(total, available) || total == 0) return 0.0;
  return static_cast<double>(total - available) / static_cast<double>(total) * 100.0;
}

void ResourceMonitor::DeriveLimitsLocked() {
  const double memoryPercent = MemoryPercent();
  const double cpuPercent = CpuPercent();
  memoryLimit_ = DerivedMemoryLimit(std::clamp(100.0 - memoryPercent, 0.0, 100.0));
  cpuLimit_ = DerivedCpuLimit(std::clamp(100.0 - cpuPercent, 0.0, 100.0));
}

bool ResourceMonitor::CheckLocked() {
  EngineState& engine = Engine();
  if (!monitoring_) {
    engine.adaptiveQualityLevel = 0;
    return true;
  }
  try {
    lastCpu_ = CpuPercent();
    if (!metrics_->ReadWorkingSet(lastMemory_)) lastMemory_ = 0;
    if (dynamicLimits_) {
      try {
        DeriveLimitsLocked();
      } catch (...) {
        lastCpu_ = 0.0;
        lastMemory_ = 0;
      }
    }
    const bool memoryWithin = lastMemory_ < memoryLimit_;
    const bool cpuWithin = cpuLimit_ > lastCpu_;  // equality counts as exceeded
    if (memoryWithin && cpuWithin) {
      engine.adaptiveQualityLevel = 0;
      return true;
    }
    engine.adaptiveQualityLevel = (!memoryWithin && !cpuWithin) ? 2 : 1;
    return false;
  } catch (...) {
    engine.adaptiveQualityLevel = 0;
    return true;
  }
}

bool ResourceMonitor::Check() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return CheckLocked();
}

void ResourceMonitor::SetMonitoringEnabled(bool enabled) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  monitoring_ = enabled;
}

void ResourceMonitor::SetMaxMemory(uint64_t bytes) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  memoryLimit_ = bytes;
}

void ResourceMonitor::SetMaxCpu(double percent) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  cpuLimit_ = percent;
}

bool ResourceMonitor::MemoryWithinLimit() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return lastMemory_ < memoryLimit_;
}

int ResourceMonitor::Level() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().adaptiveQualityLevel;
}

uint64_t ResourceMonitor::MemoryLimit() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return memoryLimit_;
}

double ResourceMonitor::CpuLimit() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return cpuLimit_;
}

ResourceMonitor& Monitor() {
  static ResourceMonitor monitor(platform::MakeSystemMetrics());
  return monitor;
}

bool CheckSystemResources() { return Monitor().Check(); }

}  // namespace capmill
