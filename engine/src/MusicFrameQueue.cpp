#include "src/MusicFrameQueue.h"

namespace capmill {

void MusicFrameQueue::Push(FramePtr frame, int64_t timestamp) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    while (!items_.empty() && items_.size() >= capacity_) items_.pop_front();
    items_.push_back(QueuedMusicFrame{std::move(frame), timestamp, true});
  }
  ready_.notify_one();
}

void MusicFrameQueue::WaitFor(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> hold(mutex_);
  ready_.wait_for(hold, timeout, [this] { return !items_.empty(); });
}

void MusicFrameQueue::Clear() {
  std::lock_guard<std::mutex> hold(mutex_);
  items_.clear();
}

size_t MusicFrameQueue::size() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return items_.size();
}

std::optional<int64_t> MusicFrameQueue::NewestTimestamp() const {
  std::lock_guard<std::mutex> hold(mutex_);
  if (items_.empty()) return std::nullopt;
  return items_.back().timestamp;
}

}  // namespace capmill
