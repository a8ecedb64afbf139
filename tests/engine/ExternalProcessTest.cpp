// Stopping the external process registered with the engine: interrupted as a
// group, killed when it will not end, reaped, the slot emptied.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "LogCapture.h"
#include "Processes.h"
#include "capmill/capmill.h"
#include "src/ExternalProcess.h"

using namespace testsupport;
using Clock = std::chrono::steady_clock;

namespace {

// Starts the command as the leader of a process group of its own.
pid_t StartGroupLeader(const char* const argv[]) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    ::execvp(argv[0], const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::setpgid(pid, pid);  // either side may come first
  return pid;
}

bool Exists(pid_t pid) {
  struct stat info;
  return ::stat(("/proc/" + std::to_string(pid)).c_str(), &info) == 0;
}

// Stops the registered process; how long it took and what was said.
double Stop(std::string* said) {
  LogCapture logs;
  const auto begun = Clock::now();
  qelStopFFmpegProcess();
  *said = logs.Debug();
  return std::chrono::duration<double>(Clock::now() - begun).count();
}

}  // namespace

TEST(ExternalProcessTest, AnInterruptEndsTheProcessAndItIsReaped) {
  if (!HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  const char* const argv[] = {"ffmpeg", "-nostdin", "-v", "quiet", "-re", "-f", "lavfi", "-i", "sine", "-f", "null", "-",
                              nullptr};
  const pid_t pid = StartGroupLeader(argv);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // running, its interrupt handler set
  ASSERT_TRUE(capmill::RegisterExternalProcess(pid));
  std::string said;
  EXPECT_LT(Stop(&said), 2.5);
  EXPECT_EQ(said, "[DEBUG] Stopping FFmpeg process...\n[DEBUG] FFmpeg process stopped\n");
  EXPECT_FALSE(Exists(pid));  // ended and reaped: not even a zombie is left
  EXPECT_LT(Stop(&said), 0.05);  // the slot is empty again
  EXPECT_EQ(said, "");
}

TEST(ExternalProcessTest, AProcessDeafToTheInterruptIsKilledAfterThreeSeconds) {
  const char* const argv[] = {"sh", "-c", "trap '' INT; exec sleep 30", nullptr};
  const pid_t pid = StartGroupLeader(argv);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(capmill::RegisterExternalProcess(pid));
  std::string said;
  EXPECT_NEAR(Stop(&said), 3.0, 0.5);
  EXPECT_EQ(said, "[DEBUG] Stopping FFmpeg process...\n[DEBUG] FFmpeg process stopped\n");
  EXPECT_FALSE(Exists(pid));
}

TEST(ExternalProcessTest, OnlyALeaderOfItsOwnGroupIsTaken) {
  // This process's group holds the test itself: an interrupt to it would end
  // the engine's process.
  EXPECT_FALSE(capmill::RegisterExternalProcess(::getpid()));
  EXPECT_FALSE(capmill::RegisterExternalProcess(0));
  std::string said;
  EXPECT_LT(Stop(&said), 0.05);
  EXPECT_EQ(said, "");
}
