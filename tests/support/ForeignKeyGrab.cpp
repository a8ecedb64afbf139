#include "ForeignKeyGrab.h"

#include <X11/Xlib.h>

namespace testsupport {

namespace {

bool gRefused = false;

int NoteRefusal(Display*, XErrorEvent* error) {
  if (error->error_code == BadAccess) gRefused = true;
  return 0;
}

}  // namespace

ForeignKeyGrab::ForeignKeyGrab(const std::string& keysym) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return;
  display_ = display;
  keycode_ = XKeysymToKeycode(display, XStringToKeysym(keysym.c_str()));
  gRefused = false;
  XErrorHandler previous = XSetErrorHandler(NoteRefusal);
  XGrabKey(display, keycode_, ControlMask | Mod1Mask, DefaultRootWindow(display), True, GrabModeAsync, GrabModeAsync);
  XSync(display, False);
  XSetErrorHandler(previous);
  granted_ = !gRefused;
}

ForeignKeyGrab::~ForeignKeyGrab() {
  if (!display_) return;
  auto* display = static_cast<Display*>(display_);
  if (granted_) XUngrabKey(display, keycode_, ControlMask | Mod1Mask, DefaultRootWindow(display));
  XCloseDisplay(display);
}

}  // namespace testsupport
