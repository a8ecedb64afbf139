// Notices a microphone that stops delivering sound during a recording (its
// device removed, its server gone) and says so once; the recording goes on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "src/MediaInput.h"

namespace capmill {

class SourceWatch {
 public:
  // Watches the input's device on a thread of its own until destroyed.
  explicit SourceWatch(MediaInput& input);
  ~SourceWatch();
  SourceWatch(const SourceWatch&) = delete;
  SourceWatch& operator=(const SourceWatch&) = delete;

  // The audio thread received sound from the device.
  void Delivered() const;

  // Silence longer than this, or the source gone, is reported.
  static constexpr int kSilentMs = 2000;

 private:
  void Watch();

  MediaInput& input_;
  mutable std::atomic<int64_t> lastDeliveryTicks_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded by lock_
  std::thread thread_;
};

}  // namespace capmill
