// Hands converted screen pictures from the capture thread to the encoding
// thread. A few pictures take turns: the capture converts into one that is
// neither queued nor still held by the encoder, so a grab never waits for an
// encoding that runs late; when every picture is busy the capture drops its
// picture instead of stalling the grabber.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace capmill {

class PictureRing {
 public:
  struct Item {
    AVFrame* picture = nullptr;
    int64_t pts = 0;
    int64_t duration = 0;
  };

  // first (kept by the caller) and count - 1 more pictures of its size and
  // format. Ok() is false when one of them could not be made.
  PictureRing(AVFrame* first, int count);
  ~PictureRing();
  PictureRing(const PictureRing&) = delete;
  PictureRing& operator=(const PictureRing&) = delete;
  bool Ok() const { return ok_; }

  // Capture side. A picture to convert into, or null when all are busy.
  AVFrame* Writable();
  // Queues a picture from Writable (or the last one pushed, again) with its
  // timestamp and duration.
  void Push(AVFrame* picture, int64_t pts, int64_t duration);
  // No more pictures come; Pop returns false once the queue is empty.
  void Close();
  // Whether the encoding side gave up (see Fail).
  bool Failed() const { return failed_; }

  // Encoding side. Waits for the next item; false after Close and the last item.
  bool Pop(Item& item);
  // The encoder has taken the item's picture (it may keep a reference of
  // its own; Writable skips the picture until that is gone).
  void Done(const Item& item);
  // The encoder failed: the capture should stop.
  void Fail() { failed_ = true; }

 private:
  struct Slot {
    AVFrame* picture = nullptr;
    bool owned = false;
    int queued = 0;
  };
  Slot* SlotOf(const AVFrame* picture);

  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  std::deque<Item> queue_;
  size_t next_ = 0;
  bool closed_ = false;
  // Read by the capture at every picture: no lock for it.
  std::atomic<bool> failed_{false};
  bool ok_ = true;
};

}  // namespace capmill
