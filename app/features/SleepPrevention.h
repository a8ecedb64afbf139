// The schedule's hold on the computer's sleep: at most one request, taken
// while an enabled entry lies today or later and given back when none does.
#pragma once

#include <functional>
#include <mutex>

namespace orvex {

class KeepAwake;

class SleepPrevention {
 public:
  explicit SleepPrevention(KeepAwake& platform) : platform_(platform) {}
  // `wanted` is asked under the hold's lock: two threads updating at once
  // act one after the other on what is true when each acts.
  void Update(const std::function<bool()>& wanted);
  void Release();
  bool prevented() const;

 private:
  void ReleaseLocked();

  KeepAwake& platform_;
  mutable std::mutex lock_;
  bool prevented_ = false;
};

}  // namespace orvex
