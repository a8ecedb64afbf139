// Another X client holding a Ctrl+Alt key, as a program that took the
// hotkey first would.
#pragma once

#include <string>

namespace testsupport {

class ForeignKeyGrab {
 public:
  // keysym: "c", "s", ...; grabs Ctrl+Alt+key on the current display.
  explicit ForeignKeyGrab(const std::string& keysym);
  ~ForeignKeyGrab();
  ForeignKeyGrab(const ForeignKeyGrab&) = delete;
  ForeignKeyGrab& operator=(const ForeignKeyGrab&) = delete;
  // Whether the X server granted the grab (false: someone holds the key).
  bool granted() const { return granted_; }

 private:
  void* display_ = nullptr;
  unsigned keycode_ = 0;
  bool granted_ = false;
};

}  // namespace testsupport
