#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace orvex {

const char kSingleInstanceName[] = "OrvexLite_SingleInstance_Mutex";

namespace {

constexpr char kShowRequest[] = "show\n";
constexpr char kShownAnswer[] = "shown\n";

}  // namespace

SingleInstance::SingleInstance(std::string folder) : folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() { Release(); }

std::string SingleInstance::RuntimeFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).toStdString();
}

std::string SingleInstance::LockPath() const { return folder_ + "/" + kSingleInstanceName + ".lock"; }
// A full path: a bare name would land in the temporary folder all users share.
std::string SingleInstance::SocketPath() const { return folder_ + "/" + kSingleInstanceName; }

bool SingleInstance::Acquire() {
  if (lockFd_ >= 0) return true;
  QDir().mkpath(QString::fromStdString(folder_));
  const int fd = ::open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;  // no lock can be made: go on as the first instance
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lockFd_ = fd;
  return true;
}

bool SingleInstance::Listen(std::function<void()> onShow) {
  if (lockFd_ < 0) return false;
  // Only the lock holder may remove a socket left by a crashed instance.
  QLocalServer::removeServer(QString::fromStdString(SocketPath()));
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this, onShow] {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
      QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
      QObject::connect(client, &QLocalSocket::readyRead, client, [client, onShow] {
        if (!client->canReadLine()) return;
        if (client->readLine() == kShowRequest) {
          onShow();
          client->write(kShownAnswer);
          client->flush();
        }
        client->disconnectFromServer();
      });
    }
  });
  return server_->listen(QString::fromStdString(SocketPath()));
}

void SingleInstance::Release() {
  if (server_) {
    server_->close();
    server_.reset();
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);  // closing drops the flock
    lockFd_ = -1;
  }
}

bool SingleInstance::AskFirstToShow(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(SocketPath()));
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kShowRequest);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  while (!socket.canReadLine())
    if (!socket.waitForReadyRead(timeoutMs)) return false;
  return socket.readLine() == kShownAnswer;
}

}  // namespace orvex
