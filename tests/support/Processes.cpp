#include "Processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace testsupport {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                           const std::string& logPath) {
  pid_ = ::fork();
  if (pid_ == 0) {
    ::setpgid(0, 0);  // its own group, so helpers it starts stop with it
    // A test that aborts (a sanitizer's report) runs no destructors: the
    // helper ends with it instead of lingering.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0) {
      ::dup2(log, STDOUT_FILENO);
      ::dup2(log, STDERR_FILENO);
    }
    const int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0) ::dup2(null, STDIN_FILENO);
    for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
}

ChildProcess::~ChildProcess() { Stop(); }

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_), exitCode_(other.exitCode_) {
  other.pid_ = -1;
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = other.pid_;
    exitCode_ = other.exitCode_;
    other.pid_ = -1;
  }
  return *this;
}

bool ChildProcess::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  return true;
}

std::optional<int> ChildProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (!WaitUntil([this] { return !Running(); }, timeout)) return std::nullopt;
  return exitCode_;
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

void ChildProcess::Stop() {
  if (pid_ <= 0) return;
  ::kill(-pid_, SIGTERM);
  ::kill(pid_, SIGTERM);
  const bool ended = WaitUntil([this] { return !Running(); }, std::chrono::milliseconds(3000));
  if (!ended && pid_ > 0) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

bool HaveProgram(const std::string& name) {
  if (!name.empty() && name[0] == '/') return ::access(name.c_str(), X_OK) == 0;
  return RunCommand("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

int RunCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::string text;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TempDir::TempDir() {
  char pattern[] = "/tmp/orvex-test-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  path_ = made ? made : "/tmp";
  ::chmod(path_.c_str(), 0777);  // helpers that drop privileges write here too
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof(address);
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  ::close(fd);
  return port;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

namespace {

// Entries of a /proc folder, leaving out "." and ".." (and, for the
// descriptors, the one reading the folder).
int EntryCount(const char* folder) {
  int count = 0;
  if (DIR* entries = ::opendir(folder)) {
    while (const dirent* entry = ::readdir(entries)) count += entry->d_name[0] != '.';
    ::closedir(entries);
  }
  return count;
}

}  // namespace

int ThreadCount() { return EntryCount("/proc/self/task"); }

int OpenDescriptorCount() { return EntryCount("/proc/self/fd") - 1; }

}  // namespace testsupport
