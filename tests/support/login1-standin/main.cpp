// A stand-in for systemd-logind's inhibitor call on a private bus:
//   login1-standin BUS_ADDRESS LOG_FILE [--refuse WHAT]
// Each Inhibit call is answered with the write end of a fresh pipe and logged
// as "inhibit <n> <what> <who> <mode>"; when the caller closes its end the
// stand-in logs "closed <n>". "ready" is logged once the name is owned.
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QSocketNotifier>
#include <cstdio>

namespace {

FILE* logFile = nullptr;

void Log(const QString& line) {
  std::fprintf(logFile, "%s\n", line.toUtf8().constData());
  std::fflush(logFile);
}

}  // namespace

class Manager : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

 public:
  explicit Manager(QString refused) : refused_(std::move(refused)) {}

 public slots:
  QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode) {
    Q_UNUSED(why);
    if (what == refused_) {
      Log(QString("refused %1").arg(what));
      sendErrorReply(QDBusError::AccessDenied, "Refused by the test");
      return {};
    }
    int ends[2];
    if (::pipe(ends) != 0) {
      sendErrorReply(QDBusError::Failed, "pipe failed");
      return {};
    }
    const int number = ++count_;
    Log(QString("inhibit %1 %2 %3 %4").arg(number).arg(what, who, mode));
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [notifier, number, readEnd = ends[0]] {
      char byte;
      if (::read(readEnd, &byte, 1) > 0) return;
      Log(QString("closed %1").arg(number));
      notifier->setEnabled(false);
      ::close(readEnd);
    });
    QDBusUnixFileDescriptor handed(ends[1]);  // keeps a copy of its own
    ::close(ends[1]);
    return handed;
  }

 private:
  QString refused_;
  int count_ = 0;
};

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: login1-standin BUS_ADDRESS LOG_FILE [--refuse WHAT]\n");
    return 2;
  }
  logFile = std::fopen(argv[2], "a");
  if (!logFile) return 1;
  const QString refused = argc >= 5 && QString(argv[3]) == "--refuse" ? QString(argv[4]) : QString();
  QDBusConnection bus = QDBusConnection::connectToBus(QString(argv[1]), "standin");
  if (!bus.isConnected()) {
    Log("no bus: " + bus.lastError().message());
    return 1;
  }
  Manager manager(refused);
  if (!bus.registerObject("/org/freedesktop/login1", &manager, QDBusConnection::ExportAllSlots) ||
      !bus.registerService("org.freedesktop.login1")) {
    Log("cannot register: " + bus.lastError().message());
    return 1;
  }
  Log("ready");
  return application.exec();
}

#include "main.moc"
