#include "platform/DebugChannel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvex {

void DebugOutput(const std::string& text) {
  static const int fd = [] {
    const char* target = std::getenv("ORVEX_DEBUG_LOG");
    if (!target || !*target) return -1;
    if (std::string_view(target) == "-") return static_cast<int>(STDERR_FILENO);
    // The channel carries stream addresses: a file it creates is the owner's alone.
    const int existing = ::open(target, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (existing >= 0 || errno != ENOENT) return existing;
    const int created = ::open(target, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (created >= 0) ::fchmod(created, 0600);
    return created;
  }();
  if (fd < 0) return;
  // One write per text: O_APPEND keeps lines of concurrent writers whole.
  const ssize_t ignored = ::write(fd, text.data(), text.size());
  (void)ignored;
}

std::string Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? length : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

}  // namespace orvex
