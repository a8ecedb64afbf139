// Decoded music frames handed from one music thread to another: a bounded
// list that drops its oldest frame when a push would overfill it, so a
// consumer that stops taking costs a fixed amount of memory.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace capmill {

struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

struct QueuedMusicFrame {
  FramePtr frame;
  int64_t timestamp = 0;  // ms of music time of the first sample, growing across loops
  bool valid = false;
};

class MusicFrameQueue {
 public:
  explicit MusicFrameQueue(size_t capacity) : capacity_(capacity) {}
  MusicFrameQueue(const MusicFrameQueue&) = delete;
  MusicFrameQueue& operator=(const MusicFrameQueue&) = delete;

  // Appends the frame, first freeing the oldest ones while the list is full,
  // and wakes a waiting consumer.
  void Push(FramePtr frame, int64_t timestamp);

  // What a consumer does with the first usable element it looks at.
  enum class Verdict { Take, Drop, Leave };
  // Looks at the elements from the front, skipping unusable ones (not valid
  // or without a frame); the judge decides on each usable one: Drop frees it
  // and goes on, Take removes and returns it, Leave ends the look.
  template <class Judge>
  std::optional<QueuedMusicFrame> TakeFrontWhere(Judge judge) {
    std::lock_guard<std::mutex> hold(mutex_);
    while (!items_.empty()) {
      QueuedMusicFrame& front = items_.front();
      if (!front.valid || !front.frame) {
        items_.pop_front();
        continue;
      }
      switch (judge(front)) {
        case Verdict::Drop:
          items_.pop_front();
          continue;
        case Verdict::Take: {
          QueuedMusicFrame taken = std::move(front);
          items_.pop_front();
          return taken;
        }
        case Verdict::Leave:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }
  std::optional<QueuedMusicFrame> TakeFront() {
    return TakeFrontWhere([](const QueuedMusicFrame&) { return Verdict::Take; });
  }

  // Waits until the list holds something, a wake, or the timeout.
  void WaitFor(std::chrono::milliseconds timeout);
  void WakeAll() { ready_.notify_all(); }
  // Frees every frame still held.
  void Clear();
  size_t size() const;
  size_t capacity() const { return capacity_; }
  // The timestamp of the newest element (nullopt when empty).
  std::optional<int64_t> NewestTimestamp() const;

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<QueuedMusicFrame> items_;
};

}  // namespace capmill
