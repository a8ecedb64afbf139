// System-wide Ctrl+Alt hotkeys, whichever window has the focus.
#pragma once

#include <functional>
#include <memory>
#include <set>

namespace orvex {

class GlobalHotkeys {
 public:
  enum class Key { S, P, R, C };  // Ctrl+Alt+S, P, R and C
  virtual ~GlobalHotkeys() = default;
  // Grabs the four keys; a key another program holds is left out. Each
  // press calls onPress once, however long the key is held.
  virtual void Register(std::function<void(Key)> onPress) = 0;
  // Gives the keys back (also done at destruction).
  virtual void Unregister() = 0;
  // The keys this program holds now.
  virtual std::set<Key> registered() const = 0;
};

// X11 key grabs on the root window; on another platform it registers nothing.
std::unique_ptr<GlobalHotkeys> MakeGlobalHotkeys();

}  // namespace orvex
