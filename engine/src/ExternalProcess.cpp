#include "src/ExternalProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>

#include "platform/Log.h"

namespace capmill {
namespace {

constexpr int kInterruptWaitMs = 3000;

struct Slot {
  std::mutex lock;
  pid_t pid = -1;
  int pidfd = -1;  // companion handle: readable once the process has ended
};

Slot& TheSlot() {
  static Slot slot;
  return slot;
}

bool Ended(int pidfd, int timeoutMs) {
  pollfd watch{pidfd, POLLIN, 0};
  return ::poll(&watch, 1, timeoutMs) > 0;
}

}  // namespace

bool RegisterExternalProcess(pid_t pid) {
  // Its group is what the interrupt goes to: it must be the process's own,
  // never the engine's.
  if (pid <= 0 || pid == ::getpid() || ::getpgid(pid) != pid || pid == ::getpgrp()) return false;
  Slot& slot = TheSlot();
  std::lock_guard<std::mutex> hold(slot.lock);
  if (slot.pid > 0) return false;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd < 0) return false;
  slot.pid = pid;
  slot.pidfd = pidfd;
  return true;
}

void StopExternalProcess() {
  Slot& slot = TheSlot();
  std::lock_guard<std::mutex> hold(slot.lock);
  if (slot.pid <= 0) return;
  log::Debug("[DEBUG] Stopping FFmpeg process...\n");
  ::kill(-slot.pid, SIGINT);
  if (!Ended(slot.pidfd, kInterruptWaitMs)) {
    ::kill(-slot.pid, SIGKILL);
    Ended(slot.pidfd, kInterruptWaitMs);
  }
  // Reaped when it is the engine's own child; another's child is its parent's to reap.
  ::waitpid(slot.pid, nullptr, WNOHANG);
  ::close(slot.pidfd);
  slot.pid = -1;
  slot.pidfd = -1;
  log::Debug("[DEBUG] FFmpeg process stopped\n");
}

}  // namespace capmill
