#include "platform/TrayNotifier.h"

#include <QSystemTrayIcon>

#include "platform/DebugChannel.h"

namespace orvex {

namespace {

QSystemTrayIcon::MessageIcon ToQt(Notifier::Icon icon) {
  switch (icon) {
    case Notifier::Icon::Information: return QSystemTrayIcon::Information;
    case Notifier::Icon::Warning: return QSystemTrayIcon::Warning;
    case Notifier::Icon::Error: return QSystemTrayIcon::Critical;
    case Notifier::Icon::None: break;
  }
  return QSystemTrayIcon::NoIcon;
}

}  // namespace

TrayNotifier::TrayNotifier() = default;
TrayNotifier::~TrayNotifier() = default;

void TrayNotifier::ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) {
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    DebugOutput("Balloon: " + title + ": " + text + "\n");
    return;
  }
  if (!icon_) {
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon(":/orvex/orvex.png"));
    icon_->show();
  }
  icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text), ToQt(icon), timeoutMs);
}

}  // namespace orvex
