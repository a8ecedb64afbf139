// Helper processes for tests: started with fork/exec, stopped by process id.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A child process that is stopped (SIGTERM, then SIGKILL) when destroyed.
class ChildProcess {
 public:
  ChildProcess() = default;
  // Starts argv with extra environment entries ("NAME=value"); output goes to logPath.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& logPath = "/dev/null");
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;

  pid_t pid() const { return pid_; }
  bool Running();
  void Stop();
  // SIGKILL to the process alone, as a crash would end it.
  void Kill();
  // The exit code once it has ended (-1 for a signal), or nothing on time-out.
  std::optional<int> WaitForExit(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int exitCode_ = -1;
};

// Whether an executable is on the PATH (or is an existing absolute path).
bool HaveProgram(const std::string& name);

// Polls until the condition holds or the timeout passes.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Runs a shell command; returns its exit status and fills output (stdout+stderr).
int RunCommand(const std::string& command, std::string* output = nullptr);

// A fresh private folder under /tmp, removed with its contents when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Threads this process runs now, and the files it holds open.
int ThreadCount();
int OpenDescriptorCount();

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();

std::string ReadFile(const std::string& path);

}  // namespace testsupport
