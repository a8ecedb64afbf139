#include "src/PictureRing.h"

namespace capmill {

PictureRing::PictureRing(AVFrame* first, int count) {
  slots_.push_back(Slot{first, false, 0});
  ok_ = first && first->buf[0];
  for (int i = 1; ok_ && i < count; ++i) {
    AVFrame* picture = av_frame_alloc();
    if (picture) {
      picture->width = first->width;
      picture->height = first->height;
      picture->format = first->format;
      if (av_frame_get_buffer(picture, 0) < 0) av_frame_free(&picture);
    }
    if (!picture) {
      ok_ = false;
      break;
    }
    slots_.push_back(Slot{picture, true, 0});
  }
}

PictureRing::~PictureRing() {
  for (Slot& slot : slots_)
    if (slot.owned) av_frame_free(&slot.picture);
}

PictureRing::Slot* PictureRing::SlotOf(const AVFrame* picture) {
  for (Slot& slot : slots_)
    if (slot.picture == picture) return &slot;
  return nullptr;
}

AVFrame* PictureRing::Writable() {
  std::lock_guard<std::mutex> hold(lock_);
  // Round the ring from the picture after the last one handed out: the
  // oldest picture is the one the encoder most likely let go.
  for (size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[(next_ + i) % slots_.size()];
    if (slot.queued > 0 || !av_frame_is_writable(slot.picture)) continue;
    next_ = (next_ + i + 1) % slots_.size();
    return slot.picture;
  }
  return nullptr;
}

void PictureRing::Push(AVFrame* picture, int64_t pts, int64_t duration) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    Slot* slot = SlotOf(picture);
    if (!slot || closed_) return;
    ++slot->queued;
    queue_.push_back(Item{picture, pts, duration});
  }
  changed_.notify_one();
}

void PictureRing::Close() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    closed_ = true;
  }
  changed_.notify_all();
}

bool PictureRing::Pop(Item& item) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return !queue_.empty() || closed_; });
  if (queue_.empty()) return false;
  item = queue_.front();
  queue_.pop_front();
  return true;
}

void PictureRing::Done(const Item& item) {
  std::lock_guard<std::mutex> hold(lock_);
  if (Slot* slot = SlotOf(item.picture); slot && slot->queued > 0) --slot->queued;
}

}  // namespace capmill
