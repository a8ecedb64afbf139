// The fast conversion of screen pictures gives libswscale's picture: the same
// captured frame converted both ways, and known colours.
#include <gtest/gtest.h>

#include <cmath>

#include "Fixtures.h"
#include "src/PictureConverter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

using namespace capmill;
using namespace testsupport;

namespace {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;

Frame NewFrame(int width, int height, AVPixelFormat format) {
  Frame frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = format;
  EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
  return frame;
}

// libswscale's picture. SWS_FAST_BILINEAR, the engine's flag for scaled
// pictures, approximates even at the same size (up to 31 codes off at sharp
// text edges); its exact conversions agree with each other and are the reference.
Frame ConvertWithSwscale(const AVFrame* in, int flags = SWS_BICUBIC) {
  Frame out = NewFrame(in->width, in->height, AV_PIX_FMT_YUV420P);
  SwsContext* scaler = sws_getContext(in->width, in->height, static_cast<AVPixelFormat>(in->format), in->width,
                                      in->height, AV_PIX_FMT_YUV420P, flags, nullptr, nullptr, nullptr);
  sws_scale(scaler, in->data, in->linesize, 0, in->height, out->data, out->linesize);
  sws_freeContext(scaler);
  return out;
}

Frame ConvertFast(const AVFrame* in) {
  Frame out = NewFrame(in->width, in->height, AV_PIX_FMT_YUV420P);
  EXPECT_TRUE(ConvertWithYuv(in, out.get()));
  return out;
}

double PlanePsnr(const AVFrame* a, const AVFrame* b, int plane) {
  const int width = plane ? (a->width + 1) / 2 : a->width, height = plane ? (a->height + 1) / 2 : a->height;
  double squared = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double d = a->data[plane][y * a->linesize[plane] + x] - b->data[plane][y * b->linesize[plane] + x];
      squared += d * d;
    }
  const double mse = squared / (width * height);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

Frame Solid(uint8_t red, uint8_t green, uint8_t blue) {
  Frame frame = NewFrame(64, 48, AV_PIX_FMT_BGR0);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* pixel = frame->data[0] + y * frame->linesize[0] + x * 4;
      pixel[0] = blue;
      pixel[1] = green;
      pixel[2] = red;
      pixel[3] = 0;
    }
  return frame;
}

TEST(PictureConverter, KnownColoursAreTheStudioRangeValues) {
  struct Case {
    uint8_t r, g, b;
    int y, u, v;
  };
  for (const Case& c : {Case{255, 0, 0, 81, 90, 240}, Case{255, 255, 255, 235, 128, 128}, Case{0, 0, 0, 16, 128, 128}}) {
    const Frame in = Solid(c.r, c.g, c.b);
    for (const Frame& out :
         {ConvertFast(in.get()), ConvertWithSwscale(in.get()), ConvertWithSwscale(in.get(), SWS_FAST_BILINEAR)}) {
      EXPECT_NEAR(out->data[0][10 * out->linesize[0] + 10], c.y, 2) << int(c.r) << "," << int(c.g) << "," << int(c.b);
      EXPECT_NEAR(out->data[1][5 * out->linesize[1] + 5], c.u, 2);
      EXPECT_NEAR(out->data[2][5 * out->linesize[2] + 5], c.v, 2);
    }
  }
  // Another size, or another order of bytes, is not the fast path's.
  const Frame in = Solid(1, 2, 3);
  Frame smaller = NewFrame(32, 24, AV_PIX_FMT_YUV420P);
  EXPECT_FALSE(ConvertWithYuv(in.get(), smaller.get()));
  Frame rgb = NewFrame(64, 48, AV_PIX_FMT_RGB0);
  Frame out = NewFrame(64, 48, AV_PIX_FMT_YUV420P);
  EXPECT_FALSE(ConvertWithYuv(rgb.get(), out.get()));
}

TEST(PictureConverter, ACapturedScreenComesOutAsLibswscaleMakesIt) {
  VirtualDesktop desktop(640, 480, true);
  if (!desktop.ok()) GTEST_SKIP() << "no virtual desktop";
  avdevice_register_all();
  AVFormatContext* input = nullptr;
  ASSERT_EQ(avformat_open_input(&input, desktop.display().c_str(), av_find_input_format("x11grab"), nullptr), 0);
  const AVCodecParameters* parameters = input->streams[0]->codecpar;
  AVCodecContext* decoder = avcodec_alloc_context3(avcodec_find_decoder(parameters->codec_id));
  ASSERT_EQ(avcodec_parameters_to_context(decoder, parameters), 0);
  ASSERT_EQ(avcodec_open2(decoder, nullptr, nullptr), 0);
  AVPacket* packet = av_packet_alloc();
  Frame captured(av_frame_alloc());
  ASSERT_EQ(av_read_frame(input, packet), 0);
  ASSERT_EQ(avcodec_send_packet(decoder, packet), 0);
  ASSERT_EQ(avcodec_receive_frame(decoder, captured.get()), 0);
  EXPECT_EQ(captured->format, AV_PIX_FMT_BGR0);

  const Frame fast = ConvertFast(captured.get()), reference = ConvertWithSwscale(captured.get());
  for (int plane = 0; plane < 3; ++plane) EXPECT_GE(PlanePsnr(fast.get(), reference.get(), plane), 40) << plane;
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&input);
}

}  // namespace
