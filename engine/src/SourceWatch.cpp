#include "src/SourceWatch.h"

#include <chrono>

#include "platform/CaptureDevices.h"
#include "platform/Log.h"

namespace capmill {
namespace {

constexpr std::chrono::milliseconds kLookEvery{500};

}  // namespace

SourceWatch::SourceWatch(MediaInput& input) : input_(input), lastDeliveryTicks_(NowTicks()) {
  thread_ = std::thread([this] { Watch(); });
}

SourceWatch::~SourceWatch() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SourceWatch::Delivered() const { lastDeliveryTicks_.store(NowTicks(), std::memory_order_relaxed); }

void SourceWatch::Watch() {
  const std::string name = input_.deviceName.empty() ? std::string("(default)") : input_.deviceName;
  bool warned = false;
  int64_t nextPresenceCheck = NowTicks() + kSilentMs * kTicksPerMs;
  std::unique_lock<std::mutex> hold(lock_);
  while (!wake_.wait_for(hold, kLookEvery, [this] { return stopping_; })) {
    const int64_t now = NowTicks();
    // A pause is no silence of the device's.
    if (RecordingPaused()) Delivered();
    const bool silent = now - lastDeliveryTicks_.load(std::memory_order_relaxed) > kSilentMs * kTicksPerMs;
    bool gone = false;
    if (now >= nextPresenceCheck) {
      nextPresenceCheck = now + kSilentMs * kTicksPerMs;
      hold.unlock();
      gone = !platform::AudioSourcePresent(input_.ifmt_ctx);
      hold.lock();
    }
    // Once per recording: a device that comes and goes is not reported at every gap.
    if ((silent || gone) && !warned) {
      warned = true;
      const std::string line = "Warning: the microphone \"" + name + "\" " +
                               (gone ? "is gone" : "has delivered no sound for 2 s") +
                               "; the recording goes on, silent where it is missing";
      log::ErrLine(line);
      log::Debug(line + "\n");
    }
  }
}

}  // namespace capmill
