// The hand-over of screen pictures from the capture thread to the encoder.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "src/PictureRing.h"

namespace capmill {
namespace {

AVFrame* NewPicture(int width, int height) {
  AVFrame* picture = av_frame_alloc();
  picture->width = width;
  picture->height = height;
  picture->format = AV_PIX_FMT_YUV420P;
  EXPECT_EQ(av_frame_get_buffer(picture, 0), 0);
  return picture;
}

TEST(PictureRingTest, HandsOutOnlyPicturesNeitherQueuedNorHeldByTheEncoder) {
  AVFrame* first = NewPicture(64, 48);
  {
    PictureRing ring(first, 3);
    ASSERT_TRUE(ring.Ok());
    AVFrame* a = ring.Writable();
    ring.Push(a, 0, 0);
    AVFrame* b = ring.Writable();
    ring.Push(b, 3000, 3000);
    AVFrame* c = ring.Writable();
    ring.Push(c, 6000, 3000);
    ASSERT_NE(a, b);
    ASSERT_NE(b, c);
    ASSERT_NE(a, c);
    EXPECT_EQ(c->width, 64);
    EXPECT_EQ(c->format, AV_PIX_FMT_YUV420P);
    // All three queued: the capture must drop, not overwrite.
    EXPECT_EQ(ring.Writable(), nullptr);

    // The encoder takes the first and keeps a reference of its own, as an
    // encoder with a packet waiting does.
    PictureRing::Item item;
    ASSERT_TRUE(ring.Pop(item));
    EXPECT_EQ(item.picture, a);
    AVFrame* held = av_frame_alloc();
    ASSERT_EQ(av_frame_ref(held, item.picture), 0);
    ring.Done(item);
    EXPECT_EQ(ring.Writable(), nullptr);
    av_frame_free(&held);
    EXPECT_EQ(ring.Writable(), a);

    // The last picture pushed again (the still picture at a lost source)
    // stays busy until both of its items are done.
    ASSERT_TRUE(ring.Pop(item));
    ring.Done(item);
    ring.Push(c, 9000, 3000);
    ASSERT_TRUE(ring.Pop(item));
    EXPECT_EQ(item.pts, 6000);
    ring.Done(item);
    // A picture handed out and never pushed is free again; the queued
    // one never is.
    for (int i = 0; i < 4; ++i) EXPECT_NE(ring.Writable(), c);
    ring.Close();
    ASSERT_TRUE(ring.Pop(item));
    EXPECT_EQ(item.picture, c);
    EXPECT_EQ(item.pts, 9000);
    EXPECT_EQ(item.duration, 3000);
    ring.Done(item);
    EXPECT_FALSE(ring.Pop(item));
    // Nothing is queued after the close.
    ring.Push(c, 12000, 3000);
    EXPECT_FALSE(ring.Pop(item));
  }
  // The ring frees only its own pictures.
  EXPECT_EQ(first->width, 64);
  av_frame_free(&first);
}

TEST(PictureRingTest, APictureWithoutABufferIsRefused) {
  AVFrame* empty = av_frame_alloc();
  PictureRing ring(empty, 4);
  EXPECT_FALSE(ring.Ok());
  av_frame_free(&empty);
}

// A capture thread writes each picture's number into every byte of it while
// an encoder thread, slower in bursts and keeping a reference to the picture
// it took last, checks that what it reads is still that number: a picture
// handed out again before the encoder let go would show a later number.
TEST(PictureRingTest, NoPictureIsOverwrittenBeforeTheEncoderLetsGo) {
  AVFrame* first = NewPicture(320, 240);
  PictureRing ring(first, 4);
  ASSERT_TRUE(ring.Ok());
  constexpr int kPictures = 3000;
  std::mutex heldLock;
  std::atomic<int> corrupted{0};
  std::atomic<int> encoded{0};
  std::thread encoder([&] {
    AVFrame* held = av_frame_alloc();
    PictureRing::Item item;
    int lastPts = -1;
    const auto check = [&corrupted](const AVFrame* picture, uint8_t expected) {
      for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? picture->height : picture->height / 2;
        const int width = plane == 0 ? picture->width : picture->width / 2;
        for (int y = 0; y < rows; y += 7)
          for (int x = 0; x < width; x += 5)
            if (picture->data[plane][y * picture->linesize[plane] + x] != expected) ++corrupted;
      }
    };
    while (ring.Pop(item)) {
      // libavutil's reference counts are invisible to ThreadSanitizer: the
      // lock makes the release of the held picture visible to the capture.
      std::unique_lock<std::mutex> hold(heldLock);
      check(item.picture, static_cast<uint8_t>(item.pts));
      if (item.pts <= lastPts) ++corrupted;
      // The picture kept from before must not have changed while held.
      if (held->buf[0]) check(held, static_cast<uint8_t>(lastPts));
      lastPts = static_cast<int>(item.pts);
      av_frame_unref(held);
      av_frame_ref(held, item.picture);
      ring.Done(item);
      ++encoded;
      hold.unlock();
      // Now and then the encoder runs late, long enough to fill the ring.
      if (encoded % 100 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    av_frame_free(&held);
  });
  int dropped = 0;
  for (int n = 0; n < kPictures; ++n) {
    // A grabber delivers pictures at its own pace.
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    std::lock_guard<std::mutex> hold(heldLock);
    AVFrame* picture = ring.Writable();
    if (!picture) {
      ++dropped;
      continue;
    }
    for (int plane = 0; plane < 3; ++plane) {
      const int rows = plane == 0 ? picture->height : picture->height / 2;
      std::memset(picture->data[plane], static_cast<uint8_t>(n), static_cast<size_t>(picture->linesize[plane]) * rows);
    }
    ring.Push(picture, n, 1);
  }
  ring.Close();
  encoder.join();
  EXPECT_EQ(corrupted.load(), 0);
  EXPECT_EQ(encoded.load() + dropped, kPictures);
  EXPECT_GT(encoded.load(), kPictures / 2);
  av_frame_free(&first);
}

}  // namespace
}  // namespace capmill
