#include "platform/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace capmill::log {
namespace {

// The debug channel is silent unless ORVEX_DEBUG_LOG names a file ("-" for
// standard error). The application writes to the same file, one line per write,
// with O_APPEND so lines of both never interleave.
int DebugFd() {
  static const int fd = [] {
    const char* target = std::getenv("ORVEX_DEBUG_LOG");
    if (!target || !*target) return -1;
    if (std::string_view(target) == "-") return STDERR_FILENO;
    // The channel carries stream addresses: a file it creates is the owner's alone.
    const int existing = ::open(target, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (existing >= 0 || errno != ENOENT) return existing;
    const int created = ::open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (created >= 0) ::fchmod(created, 0600);
    return created;
  }();
  return fd;
}

std::mutex& CaptureLock() {
  static std::mutex lock;
  return lock;
}
Capture& CaptureSlot() {
  static Capture capture;
  return capture;
}

}  // namespace

void SetCapture(Capture capture) {
  std::lock_guard<std::mutex> hold(CaptureLock());
  CaptureSlot() = std::move(capture);
}

void Write(Sink sink, std::string_view text) {
  {
    std::lock_guard<std::mutex> hold(CaptureLock());
    if (CaptureSlot()) {
      CaptureSlot()(sink, text);
      return;
    }
  }
  switch (sink) {
    case Sink::StdOut:
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
      break;
    case Sink::StdErr:
      std::fwrite(text.data(), 1, text.size(), stderr);
      std::fflush(stderr);
      break;
    case Sink::Debug:
      if (int fd = DebugFd(); fd >= 0) {
        ssize_t ignored = ::write(fd, text.data(), text.size());
        (void)ignored;
      }
      break;
  }
}

std::string Format(size_t bufferSize, const char* format, ...) {
  std::vector<char> buffer(bufferSize);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return std::string(buffer.data());
}

}  // namespace capmill::log
