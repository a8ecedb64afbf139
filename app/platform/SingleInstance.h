// One OrvexLite per user: a lock file held for the life of the process,
// and a local socket on which a second start asks the first to show itself.
#pragma once

#include <functional>
#include <memory>
#include <string>

class QLocalServer;

namespace orvex {

extern const char kSingleInstanceName[];  // "OrvexLite_SingleInstance_Mutex"

class SingleInstance {
 public:
  // folder: where the lock and the socket live (the runtime folder by default).
  explicit SingleInstance(std::string folder = RuntimeFolder());
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock; false when another instance holds it.
  bool Acquire();
  // Answers "show" requests by calling onShow, once the main window exists.
  bool Listen(std::function<void()> onShow);
  // Gives up the lock and the socket, before a new instance is started.
  void Release();
  bool held() const { return lockFd_ >= 0; }

  // A second instance: asks the first to show its window. False when no
  // instance answered within timeoutMs.
  bool AskFirstToShow(int timeoutMs) const;

  std::string LockPath() const;
  std::string SocketPath() const;
  static std::string RuntimeFolder();

 private:
  std::string folder_;
  int lockFd_ = -1;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace orvex
