// The resource check's decisions, with exact figures fed in, and the real
// measurements of this machine.
#include <gtest/gtest.h>

#include "capmill/capmill.h"
#include "src/EngineState.h"
#include "src/ResourceMonitor.h"

using namespace capmill;

namespace {

class FakeMetrics : public platform::SystemMetrics {
 public:
  double cpu = 0;
  uint64_t workingSet = 0;
  uint64_t total = 1000, available = 1000;
  bool counterWorks = true;
  int collections = 0;
  bool OpenCpuCounter() override { return counterWorks; }
  bool CollectCpuCounter() override { return ++collections, counterWorks; }
  bool ReadCpuPercent(double& percent) override { return percent = cpu, true; }
  bool ReadWorkingSet(uint64_t& bytes) override { return bytes = workingSet, true; }
  bool ReadMemoryStatus(uint64_t& t, uint64_t& a) override { return t = total, a = available, true; }
};

struct Monitored {
  FakeMetrics* metrics;
  std::unique_ptr<ResourceMonitor> monitor;
  Monitored() {
    auto fake = std::make_unique<FakeMetrics>();
    metrics = fake.get();
    monitor = std::make_unique<ResourceMonitor>(std::move(fake));
    monitor->CpuPercent();  // the first reading after opening is always 0.0
  }
};

TEST(ResourceMonitor, FirstCpuReadingIsZeroAndFailedCounterStaysZero) {
  auto fake = std::make_unique<FakeMetrics>();
  fake->cpu = 42;
  FakeMetrics* metrics = fake.get();
  ResourceMonitor monitor(std::move(fake));
  EXPECT_EQ(monitor.CpuPercent(), 0.0);
  EXPECT_EQ(monitor.CpuPercent(), 42.0);

  auto broken = std::make_unique<FakeMetrics>();
  broken->counterWorks = false;
  broken->cpu = 42;
  ResourceMonitor failed(std::move(broken));
  EXPECT_EQ(failed.CpuPercent(), 0.0);
  EXPECT_EQ(failed.CpuPercent(), 0.0);
  (void)metrics;
}

TEST(ResourceMonitor, MonitoringOffAlwaysPasses) {
  Monitored m;
  m.metrics->cpu = 99;
  m.metrics->workingSet = 10ull << 30;
  EXPECT_TRUE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 0);
  EXPECT_TRUE(m.monitor->MemoryWithinLimit());  // no sample taken yet
}

TEST(ResourceMonitor, FixedLimitsGiveLevelsOneAndTwoAndEqualityExceeds) {
  Monitored m;
  m.monitor->SetMonitoringEnabled(true);
  m.metrics->cpu = 85;
  m.metrics->workingSet = 100'000'000;
  EXPECT_FALSE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 1);
  m.metrics->workingSet = 600 * kMiB;
  EXPECT_FALSE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 2);
  EXPECT_FALSE(m.monitor->MemoryWithinLimit());

  m.metrics->cpu = 80.0;  // equal to the limit: exceeded
  m.metrics->workingSet = 100'000'000;
  EXPECT_FALSE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 1);
  m.metrics->cpu = 79.9;
  EXPECT_TRUE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 0);
  m.metrics->workingSet = 500 * kMiB;  // equal to the memory limit: exceeded
  EXPECT_FALSE(m.monitor->Check());
  m.monitor->SetMonitoringEnabled(false);
  EXPECT_TRUE(m.monitor->Check());
  EXPECT_EQ(m.monitor->Level(), 0);
}

TEST(ResourceMonitor, DerivedLimitsUseStrictComparisons) {
  EXPECT_EQ(DerivedMemoryLimit(60), 1024 * kMiB);
  EXPECT_EQ(DerivedMemoryLimit(50), 512 * kMiB);
  EXPECT_EQ(DerivedMemoryLimit(40), 512 * kMiB);
  EXPECT_EQ(DerivedMemoryLimit(25), 256 * kMiB);
  EXPECT_EQ(DerivedMemoryLimit(10), 128 * kMiB);
  EXPECT_EQ(DerivedCpuLimit(61), 90.0);
  EXPECT_EQ(DerivedCpuLimit(60), 70.0);
  EXPECT_EQ(DerivedCpuLimit(30), 50.0);
  EXPECT_EQ(DerivedCpuLimit(20), 50.0);
  EXPECT_EQ(DerivedCpuLimit(15), 30.0);

  Monitored m;
  m.monitor->SetMonitoringEnabled(true);
  m.monitor->SetDynamicLimitsEnabled(true);
  m.metrics->total = 1000;
  m.metrics->available = 400;  // 40 % free
  m.metrics->cpu = 80;         // 20 % free
  m.metrics->workingSet = 100 * kMiB;
  EXPECT_FALSE(m.monitor->Check());  // CPU 80 against a derived 50.0
  EXPECT_EQ(m.monitor->MemoryLimit(), 512 * kMiB);
  EXPECT_EQ(m.monitor->CpuLimit(), 50.0);
  EXPECT_EQ(m.monitor->Level(), 1);

  m.metrics->available = 500;  // exactly 50 % free
  m.metrics->cpu = 40;         // exactly 60 % free
  EXPECT_TRUE(m.monitor->Check());
  EXPECT_EQ(m.monitor->MemoryLimit(), 512 * kMiB);
  EXPECT_EQ(m.monitor->CpuLimit(), 70.0);
}

TEST(ResourceMonitor, RealMeasurementsAreInRange) {
  const double memory = qelGetSystemMemoryUsagePercent();
  EXPECT_GT(memory, 0.0);
  EXPECT_LT(memory, 100.0);
  qelGetSystemCpuUsagePercent();
  volatile double spin = 0;
  for (int i = 0; i < 20'000'000; ++i) spin = spin + i;
  const double cpu = qelGetSystemCpuUsagePercent();
  EXPECT_GT(cpu, 0.0);  // a failed reading is 0.0; the spin above used a core
  EXPECT_LE(cpu, 100.0);

  qelSetSystemMonitoringEnabled(true);
  qelSetMaxMemoryUsage(1);  // our working set is surely above one byte
  qelSetMaxCpuUsage(101.0);
  EXPECT_FALSE(qelCheckSystemResources());
  EXPECT_EQ(qelGetAdaptiveQualityLevel(), 1);
  EXPECT_FALSE(qelCheckMemoryUsage());
  qelSetSystemMonitoringEnabled(false);
  EXPECT_TRUE(qelCheckSystemResources());
  EXPECT_EQ(qelGetAdaptiveQualityLevel(), 0);
  // The monitor is the process's: leave it with its usual limits.
  qelSetMaxMemoryUsage(500ull * 1024 * 1024);
  qelSetMaxCpuUsage(80.0);
}

}  // namespace
