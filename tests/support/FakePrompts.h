// Answers the application's message boxes in tests and records what they said.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/UserPrompts.h"

namespace testsupport {

class FakePrompts : public orvex::UserPrompts {
 public:
  struct Shown {
    std::string title, text;
    Icon icon;
    bool question;
  };
  void Tell(const std::string& title, const std::string& text, Icon icon) override {
    shown.push_back({title, text, icon, false});
  }
  bool Ask(const std::string& title, const std::string& text, Icon icon, bool noIsDefault) override {
    shown.push_back({title, text, icon, true});
    noWasDefault.push_back(noIsDefault);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> PickFolder(const std::string& title, const std::string& startFolder) override {
    picks.push_back("folder:" + title);
    return NextPick();
  }
  std::optional<std::string> PickOpenFile(const std::string& filter, const std::string& defaultSuffix) override {
    picks.push_back("file:" + filter + "|" + defaultSuffix);
    return NextPick();
  }
  std::optional<uint32_t> PickColour(uint32_t current) override {
    picks.push_back("colour:" + std::to_string(current));
    if (colourAnswers.empty()) return std::nullopt;
    const auto answer = colourAnswers.front();
    colourAnswers.pop_front();
    return answer;
  }
  std::string LastText() const { return shown.empty() ? "" : shown.back().text; }

  std::deque<bool> answers;  // Yes (true) or No for the next questions
  std::vector<Shown> shown;
  std::vector<bool> noWasDefault;
  std::deque<std::optional<std::string>> pickAnswers;  // chosen paths, or nothing for Cancel
  std::vector<std::string> picks;                        // what was asked for
  std::deque<std::optional<uint32_t>> colourAnswers;     // chosen colours (0x00BBGGRR), or nothing

 private:
  std::optional<std::string> NextPick() {
    if (pickAnswers.empty()) return std::nullopt;
    auto answer = pickAnswers.front();
    pickAnswers.pop_front();
    return answer;
  }
};

}  // namespace testsupport
