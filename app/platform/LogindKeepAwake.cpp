#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <atomic>

#include "platform/KeepAwake.h"

namespace orvex {

namespace {

// It also runs on the user-interface thread: a bus that does not answer must
// not hang the window for long.
constexpr int kCallTimeoutMs = 3000;
constexpr char kDefaultSystemBus[] = "unix:path=/run/dbus/system_bus_socket";

// Read at every call: the bus library reads its variable once per process,
// and a system bus that was not there before must be found when it comes.
QString SystemBusAddress() {
  const QByteArray set = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
  return set.isEmpty() ? QString(kDefaultSystemBus) : QString::fromUtf8(set);
}

// The descriptor of a "block" inhibitor, or -1 when refused.
int TakeInhibitor(const char* what) {
  static std::atomic<int> serial{0};
  const QString name = QString("orvex-keep-awake-%1").arg(serial++);
  int taken = -1;
  {
    QDBusConnection bus = QDBusConnection::connectToBus(SystemBusAddress(), name);
    if (bus.isConnected()) {
      QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                         "org.freedesktop.login1.Manager", "Inhibit");
      call << QString(what) << QString("OrvexLite") << QString("A scheduled recording is due") << QString("block");
      const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
      if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
        const auto descriptor = reply.arguments().first().value<QDBusUnixFileDescriptor>();
        if (descriptor.isValid()) taken = ::dup(descriptor.fileDescriptor());
      }
    }
  }
  QDBusConnection::disconnectFromBus(name);
  return taken;
}

}  // namespace

LogindKeepAwake::~LogindKeepAwake() { CloseHeld(); }

void LogindKeepAwake::CloseHeld() {
  if (held_ >= 0) ::close(held_);
  held_ = -1;
}

bool LogindKeepAwake::SetExecutionState(uint32_t state) {
  const char* what = nullptr;
  if (state == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_AWAYMODE_REQUIRED)) what = "sleep:idle";
  else if (state == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) what = "idle";
  std::lock_guard<std::mutex> guard(lock_);
  if (state == ES_CONTINUOUS) {
    CloseHeld();
    return true;
  }
  if (!what) return false;
  const int taken = TakeInhibitor(what);
  if (taken < 0) return false;
  CloseHeld();
  held_ = taken;
  return true;
}

}  // namespace orvex
