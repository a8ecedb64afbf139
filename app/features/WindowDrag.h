// A window moved by its own mouse handling: works with or without a window
// manager, and over a picture that gives the system no caption to hold.
#pragma once

#include <QPoint>
#include <QWidget>

namespace orvex {

class WindowDrag {
 public:
  void Press(QPoint global) {
    dragging_ = true;
    last_ = global;
  }
  // Moves the window by the mouse's movement since the last point.
  void Move(QWidget& window, QPoint global) {
    if (!dragging_) return;
    window.move(window.pos() + (global - last_));
    last_ = global;
  }
  void Release() { dragging_ = false; }
  bool dragging() const { return dragging_; }

 private:
  bool dragging_ = false;
  QPoint last_;
};

}  // namespace orvex
