// Balloons from a notification-area icon (QSystemTrayIcon). Where no tray
// host runs, the text goes to the debug channel instead.
#pragma once

#include <memory>

#include "platform/Notifier.h"

class QSystemTrayIcon;

namespace orvex {

class TrayNotifier : public Notifier {
 public:
  TrayNotifier();
  ~TrayNotifier() override;
  void ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) override;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace orvex
