#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/FileSystem.h"

namespace capmill::platform {

std::optional<uint64_t> FreeBytesAt(const std::string& path) {
  struct statvfs info {};
  if (::statvfs(path.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

bool TruncateFile(const std::string& path, int64_t length) { return ::truncate(path.c_str(), length) == 0; }

bool PersistentWriteFailure(int negativeErrno) {
  switch (-negativeErrno) {
    case ENOSPC:
    case EDQUOT:
    case EROFS:
    case EIO:
    case EFBIG:
    case ENODEV:
    case ENXIO:
    case ESTALE:
    case EBADF:
      return true;
    default:
      return false;
  }
}

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const char* home = std::getenv("HOME");
  std::string base;
  if (state && *state == '/') base = state;
  else if (home && *home) base = std::string(home) + "/.local/state";
  else return "";
  // Each level in turn: the parents may not exist yet.
  for (size_t slash = base.find('/', 1); slash != std::string::npos; slash = base.find('/', slash + 1))
    ::mkdir(base.substr(0, slash).c_str(), 0700);
  ::mkdir(base.c_str(), 0700);
  const std::string folder = base + "/OrvexLite";
  ::mkdir(folder.c_str(), 0700);
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? folder : "";
}

bool ProcessRunning(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

long OwnProcessId() { return static_cast<long>(::getpid()); }

int OpenForSync(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

void SyncData(int descriptor) {
  if (descriptor >= 0) ::fdatasync(descriptor);
}

void CloseSync(int descriptor) {
  if (descriptor >= 0) ::close(descriptor);
}

}  // namespace capmill::platform
