// Key grabs on the X root window, read through Qt's native event filter.
// Qt comes first: Xlib defines macros (Status, Bool, None) Qt's headers use.
#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <map>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <xcb/xcb.h>

#include "platform/DebugChannel.h"
#include "platform/GlobalHotkeys.h"

namespace orvex {
namespace {

constexpr uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

class X11GlobalHotkeys : public GlobalHotkeys, public QAbstractNativeEventFilter {
 public:
  X11GlobalHotkeys(Display* display, xcb_connection_t* connection)
      : display_(display), connection_(connection), root_(DefaultRootWindow(display)) {}
  ~X11GlobalHotkeys() override { Unregister(); }

  void Register(std::function<void(Key)> onPress) override {
    Unregister();
    onPress_ = std::move(onPress);
    // Held keys repeat as presses only, with no release in between.
    XkbSetDetectableAutoRepeat(display_, True, nullptr);
    const uint16_t numLock = NumLockMask();
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, numLock, static_cast<uint16_t>(XCB_MOD_MASK_LOCK | numLock)};
    const std::pair<Key, KeySym> keys[] = {{Key::S, XK_s}, {Key::P, XK_p}, {Key::R, XK_r}, {Key::C, XK_c}};
    for (const auto& [key, symbol] : keys) {
      const xcb_keycode_t code = XKeysymToKeycode(display_, symbol);
      if (code == 0 || !GrabAll(code, locks, numLock ? 4 : 2)) {
        DebugOutput("Hotkey could not be registered; it does nothing\n");
        continue;
      }
      codes_[code] = key;
    }
    xcb_flush(connection_);
    if (!codes_.empty()) QAbstractEventDispatcher::instance()->installNativeEventFilter(this);
  }

  void Unregister() override {
    if (codes_.empty()) return;
    QAbstractEventDispatcher::instance()->removeNativeEventFilter(this);
    for (const auto& [code, key] : codes_) xcb_ungrab_key(connection_, code, root_, XCB_MOD_MASK_ANY);
    xcb_flush(connection_);
    codes_.clear();
    held_.clear();
  }

  std::set<Key> registered() const override {
    std::set<Key> keys;
    for (const auto& [code, key] : codes_) keys.insert(key);
    return keys;
  }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t kind = event->response_type & 0x7f;
    if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    const auto found = codes_.find(key->detail);
    if (found == codes_.end() || key->root != root_) return false;
    // Only the grabbed combinations are ours: the same letters typed into the
    // program's own windows, alone or with other modifiers, belong to them.
    if (kind == XCB_KEY_RELEASE) return held_.erase(key->detail) > 0;
    if ((key->state & kCtrlAlt) != kCtrlAlt) return false;
    // Lock bits do not matter; a repeat of a held key is not a new press.
    if (!held_.insert(key->detail).second) return true;
    if (onPress_) onPress_(found->second);
    return true;
  }

 private:
  uint16_t NumLockMask() const {
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (!map) return 0;
    const KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
    uint16_t mask = 0;
    for (int modifier = 0; modifier < 8 && numLock; ++modifier)
      for (int i = 0; i < map->max_keypermod; ++i)
        if (map->modifiermap[modifier * map->max_keypermod + i] == numLock) mask = static_cast<uint16_t>(1 << modifier);
    XFreeModifiermap(map);
    return mask;
  }

  // All lock variants, or none: a key refused (BadAccess) in one is given up.
  bool GrabAll(xcb_keycode_t code, const uint16_t* locks, int count) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
      const xcb_void_cookie_t cookie = xcb_grab_key_checked(connection_, 1, root_, kCtrlAlt | locks[i], code,
                                                            XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
      if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
        free(error);
        ok = false;
      }
    }
    if (!ok)
      for (int i = 0; i < count; ++i) xcb_ungrab_key(connection_, code, root_, kCtrlAlt | locks[i]);
    return ok;
  }

  Display* display_;
  xcb_connection_t* connection_;
  Window root_;
  std::function<void(Key)> onPress_;
  std::map<xcb_keycode_t, Key> codes_;
  std::set<xcb_keycode_t> held_;
};

// Registers nothing: hotkeys need an X server.
class NoGlobalHotkeys : public GlobalHotkeys {
 public:
  void Register(std::function<void(Key)>) override {}
  void Unregister() override {}
  std::set<Key> registered() const override { return {}; }
};

}  // namespace

std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || !x11->display() || !x11->connection()) return std::make_unique<NoGlobalHotkeys>();
  return std::make_unique<X11GlobalHotkeys>(x11->display(), x11->connection());
}

}  // namespace orvex
