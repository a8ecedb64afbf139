// The keep-awake hold against a private D-Bus daemon with a stand-in for
// logind's inhibitor call, and against a bus address where nothing listens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <thread>

#include "Processes.h"
#include "features/SleepPrevention.h"
#include "platform/KeepAwake.h"

using namespace orvex;
using namespace testsupport;

namespace {

const std::string kDebugLog = "/tmp/orvex-keep-awake-test-" + std::to_string(::getpid()) + ".log";
const bool kDebugLogSet = ::setenv("ORVEX_DEBUG_LOG", kDebugLog.c_str(), 1) == 0;

constexpr char kEnabled[] = "System sleep prevention enabled for scheduled recordings\n";
constexpr char kEnabledWithoutAway[] = "System sleep prevention enabled (without away mode) for scheduled recordings\n";
constexpr char kDisabled[] = "System sleep prevention disabled - no future scheduled recordings\n";

// Lines of the stand-in's log.
std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadFile(path));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
  int count = 0;
  for (const std::string& line : lines) count += line.rfind(prefix, 0) == 0;
  return count;
}

class KeepAwakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kDebugLogSet);
    if (!HaveProgram("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed (tools/install-deps.sh)";
    address_ = "unix:path=" + (dir_ / "system_bus_socket");
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
    debugStart_ = ReadFile(kDebugLog).size();
  }
  // The bus and logind's stand-in, refusing `refuse` when given.
  void StartBus(const std::string& refuse = "") {
    daemon_ = ChildProcess({"dbus-daemon", "--session", "--nofork", "--address=" + address_}, {},
                           dir_ / "daemon.log");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir_ / "system_bus_socket"); },
                          std::chrono::seconds(10)));
    std::vector<std::string> argv{ORVEX_LOGIN1_STANDIN, address_, standinLog()};
    if (!refuse.empty()) argv.insert(argv.end(), {"--refuse", refuse});
    standin_ = ChildProcess(argv);
    ASSERT_TRUE(WaitUntil([&] { return Count(Lines(standinLog()), "ready") == 1; }, std::chrono::seconds(10)))
        << ReadFile(standinLog());
  }
  std::string standinLog() const { return dir_ / "standin.log"; }
  std::vector<std::string> Standin() const { return Lines(standinLog()); }
  std::string Debug() const { return ReadFile(kDebugLog).substr(debugStart_); }
  bool Closed(int inhibitor) const {
    return WaitUntil([&] { return Count(Standin(), "closed " + std::to_string(inhibitor)) == 1; },
                     std::chrono::seconds(5));
  }

  TempDir dir_;
  std::string address_;
  ChildProcess daemon_, standin_;
  size_t debugStart_ = 0;
};

TEST_F(KeepAwakeTest, NoBusRefusesBothRequestsAndHoldsNothing) {
  LogindKeepAwake platform;
  SleepPrevention hold(platform);
  const auto before = std::chrono::steady_clock::now();
  hold.Update([] { return true; });
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(3));
  EXPECT_FALSE(hold.prevented());
  EXPECT_EQ(Debug().find("System sleep prevention enabled"), std::string::npos);
  hold.Update([] { return false; });
  EXPECT_EQ(Debug().find(kDisabled), std::string::npos);  // nothing was held
}

TEST_F(KeepAwakeTest, AFutureEntryTakesOneInhibitorUntilNoneIsLeft) {
  StartBus();
  LogindKeepAwake platform;
  SleepPrevention hold(platform);
  hold.Update([] { return true; });
  hold.Update([] { return true; });  // held already: no second request
  EXPECT_TRUE(hold.prevented());
  EXPECT_EQ(Standin(), (std::vector<std::string>{"ready", "inhibit 1 sleep:idle OrvexLite block"}));
  EXPECT_NE(Debug().find(kEnabled), std::string::npos);
  hold.Update([] { return false; });
  EXPECT_FALSE(hold.prevented());
  EXPECT_TRUE(Closed(1)) << ReadFile(standinLog());
  EXPECT_NE(Debug().find(kDisabled), std::string::npos);
}

TEST_F(KeepAwakeTest, ARefusedAwayModeFallsBackToIdle) {
  StartBus("sleep:idle");
  LogindKeepAwake platform;
  SleepPrevention hold(platform);
  hold.Update([] { return true; });
  EXPECT_TRUE(hold.prevented());
  EXPECT_EQ(Standin(), (std::vector<std::string>{"ready", "refused sleep:idle", "inhibit 1 idle OrvexLite block"}));
  EXPECT_NE(Debug().find(kEnabledWithoutAway), std::string::npos);
  hold.Release();
  EXPECT_TRUE(Closed(1));
}

TEST_F(KeepAwakeTest, ABusThatAppearsAfterARefusalIsUsedAtTheNextCall) {
  LogindKeepAwake platform;
  SleepPrevention hold(platform);
  hold.Update([] { return true; });
  ASSERT_FALSE(hold.prevented());
  StartBus();
  hold.Update([] { return true; });
  EXPECT_TRUE(hold.prevented());
  EXPECT_EQ(Count(Standin(), "inhibit 1 sleep:idle"), 1);
}

TEST_F(KeepAwakeTest, TwoThreadsTogglingTheEntryNeverHoldTwoInhibitors) {
  StartBus();
  LogindKeepAwake platform;
  SleepPrevention hold(platform);
  std::atomic<bool> entryEnabled{true};
  auto updater = [&](bool toggles) {
    for (int i = 0; i < 40; ++i) {
      if (toggles) entryEnabled = !entryEnabled;
      hold.Update([&] { return entryEnabled.load(); });
    }
  };
  std::thread monitor(updater, false), window(updater, true);
  monitor.join();
  window.join();
  entryEnabled = true;
  hold.Update([] { return true; });
  ASSERT_TRUE(hold.prevented());
  std::vector<std::string> lines = Standin();
  const int taken = Count(lines, "inhibit ");
  ASSERT_GE(taken, 1);
  // Every inhibitor but the last one was given back.
  EXPECT_TRUE(WaitUntil([&] { return Count(Standin(), "closed ") == taken - 1; }, std::chrono::seconds(5)))
      << ReadFile(standinLog());
  hold.Update([] { return false; });
  EXPECT_TRUE(WaitUntil([&] { return Count(Standin(), "closed ") == taken; }, std::chrono::seconds(5)));
}

}  // namespace
