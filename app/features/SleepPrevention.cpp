#include "features/SleepPrevention.h"

#include "platform/DebugChannel.h"
#include "platform/KeepAwake.h"

namespace orvex {

void SleepPrevention::Update(const std::function<bool()>& wanted) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!wanted()) return ReleaseLocked();
  if (prevented_) return;
  if (platform_.SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_AWAYMODE_REQUIRED)) {
    prevented_ = true;
    DebugOutput("System sleep prevention enabled for scheduled recordings\n");
  } else if (platform_.SetExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) {
    prevented_ = true;
    DebugOutput("System sleep prevention enabled (without away mode) for scheduled recordings\n");
  }
}

void SleepPrevention::Release() {
  std::lock_guard<std::mutex> guard(lock_);
  ReleaseLocked();
}

bool SleepPrevention::prevented() const {
  std::lock_guard<std::mutex> guard(lock_);
  return prevented_;
}

void SleepPrevention::ReleaseLocked() {
  if (!prevented_) return;
  platform_.SetExecutionState(ES_CONTINUOUS);
  prevented_ = false;
  DebugOutput("System sleep prevention disabled - no future scheduled recordings\n");
}

}  // namespace orvex
