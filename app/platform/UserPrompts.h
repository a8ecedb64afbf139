// Message boxes, reached through one interface so tests can answer them.
#pragma once

#include <string>

class QWidget;

namespace orvex {

class UserPrompts {
 public:
  enum class Icon { Information, Warning, Error, Question };
  virtual ~UserPrompts() = default;
  // A message with an OK button.
  virtual void Tell(const std::string& title, const std::string& text, Icon icon) = 0;
  // A Yes/No question; noIsDefault preselects No. True for Yes.
  virtual bool Ask(const std::string& title, const std::string& text, Icon icon, bool noIsDefault) = 0;
};

// Real message boxes owned by the given window.
class MessageBoxPrompts : public UserPrompts {
 public:
  explicit MessageBoxPrompts(QWidget* owner) : owner_(owner) {}
  void Tell(const std::string& title, const std::string& text, Icon icon) override;
  bool Ask(const std::string& title, const std::string& text, Icon icon, bool noIsDefault) override;

 private:
  QWidget* owner_;
};

}  // namespace orvex
