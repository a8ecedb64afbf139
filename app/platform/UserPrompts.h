// Message boxes and pickers, reached through one interface so tests can
// answer them.
#pragma once

#include <cstdint>
#include <optional>
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
  // A folder picker starting at startFolder; nothing when cancelled.
  virtual std::optional<std::string> PickFolder(const std::string& title, const std::string& startFolder) = 0;
  // An open-file picker. filter is in the "Name (*.a;*.b)|*.a;*.b|...||"
  // form; defaultSuffix is added to a typed name that has none.
  virtual std::optional<std::string> PickOpenFile(const std::string& filter, const std::string& defaultSuffix) = 0;
  // A colour chooser, fully expanded, starting at `current` (0x00BBGGRR);
  // nothing when cancelled.
  virtual std::optional<uint32_t> PickColour(uint32_t current) = 0;
};

// Real message boxes and file dialogs owned by the given window.
class MessageBoxPrompts : public UserPrompts {
 public:
  explicit MessageBoxPrompts(QWidget* owner) : owner_(owner) {}
  void Tell(const std::string& title, const std::string& text, Icon icon) override;
  bool Ask(const std::string& title, const std::string& text, Icon icon, bool noIsDefault) override;
  std::optional<std::string> PickFolder(const std::string& title, const std::string& startFolder) override;
  std::optional<std::string> PickOpenFile(const std::string& filter, const std::string& defaultSuffix) override;
  std::optional<uint32_t> PickColour(uint32_t current) override;

 private:
  QWidget* owner_;
};

// "Audio (*.mp3;*.wav)|*.mp3;*.wav|All Files (*.*)|*.*||" as a Qt name
// filter list: "Audio (*.mp3 *.wav);;All Files (*)".
std::string QtFileFilter(const std::string& pairedFilter);

}  // namespace orvex
