#include "src/FragmentSync.h"

#include "platform/FileSystem.h"

namespace capmill {

FragmentSync::FragmentSync(const std::string& path) : descriptor_(platform::OpenForSync(path)) {
  if (descriptor_ >= 0) thread_ = std::thread([this] { Run(); });
}

FragmentSync::~FragmentSync() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      stopping_ = true;
      pending_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  platform::CloseSync(descriptor_);
}

void FragmentSync::Written() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    pending_ = true;
  }
  wake_.notify_one();
}

void FragmentSync::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    wake_.wait(hold, [this] { return pending_ || stopping_; });
    const bool last = stopping_;
    pending_ = false;
    hold.unlock();
    platform::SyncData(descriptor_);
    hold.lock();
    if (last) return;
  }
}

}  // namespace capmill
