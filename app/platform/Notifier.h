// Balloon messages from the notification area.
#pragma once

#include <string>

namespace orvex {

class Notifier {
 public:
  enum class Icon { None, Information, Warning, Error };
  virtual ~Notifier() = default;
  virtual void ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) = 0;
};

}  // namespace orvex
