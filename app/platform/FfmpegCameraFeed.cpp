#include <atomic>
#include <chrono>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "platform/CameraFeed.h"
#include "platform/CameraNodes.h"
#include "platform/DebugChannel.h"

namespace orvex {

namespace {

constexpr char kLavfiPrefix[] = "lavfi:";

void RegisterDevicesOnce() {
  static std::once_flag once;
  std::call_once(once, [] { avdevice_register_all(); });
}

}  // namespace

CameraLogWords PreviewLogWords() {
  return {"Camera preview video capture", "Failed to start camera preview video capture", " for camera preview"};
}

// What one opening holds; closed in reverse order when it goes out of scope.
struct FfmpegCameraFeed::Session {
  AVFormatContext* input = nullptr;
  AVCodecContext* decoder = nullptr;
  SwsContext* scaler = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  int stream = -1;
  ~Session() {
    sws_freeContext(scaler);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
    av_frame_free(&frame);
    av_packet_free(&packet);
  }
};

FfmpegCameraFeed::FfmpegCameraFeed(CameraLogWords words) : words_(std::move(words)) {}

FfmpegCameraFeed::~FfmpegCameraFeed() { Stop(); }

void FfmpegCameraFeed::Start(const std::string& cameraName, Callbacks callbacks) {
  Stop();
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = false;
    interrupted_ = false;
    newest_ = QImage();
  }
  thread_ = std::thread([this, cameraName, callbacks = std::move(callbacks)] { Run(cameraName, callbacks); });
}

void FfmpegCameraFeed::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
    interrupted_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void FfmpegCameraFeed::SetPictureSize(QSize size) {
  std::lock_guard<std::mutex> guard(lock_);
  pictureSize_ = size.expandedTo(QSize(1, 1));
}

QImage FfmpegCameraFeed::TakePicture() {
  std::lock_guard<std::mutex> guard(lock_);
  return std::exchange(newest_, QImage());
}

bool FfmpegCameraFeed::WaitUntil(std::chrono::steady_clock::time_point when) {
  std::unique_lock<std::mutex> guard(lock_);
  wake_.wait_until(guard, when, [this] { return stopping_; });
  return !stopping_;
}

void FfmpegCameraFeed::Run(std::string cameraName, Callbacks callbacks) {
  RegisterDevicesOnce();
  const auto say = [this](const std::string& line) { DebugOutput(line + words_.suffix + "\n"); };
  const auto failInit = [&](const std::string& line) {
    say(line);
    DebugOutput(words_.summary + " initialization failed\n");
    if (callbacks.failed) callbacks.failed();
  };

  const bool virtualSource = cameraName.rfind(kLavfiPrefix, 0) == 0;
  std::string url;
  const AVInputFormat* format = nullptr;
  if (virtualSource) {
    url = cameraName.substr(sizeof kLavfiPrefix - 1);
    format = av_find_input_format("lavfi");
  } else {
    const auto node = FindCameraNode(cameraName);
    if (!node) return failInit("Failed to find video capture device");
    say("Found matching video device");
    url = *node;
    format = av_find_input_format("v4l2");
  }

  Session session;
  session.input = avformat_alloc_context();
  // A blocked read ends as soon as a stop is asked for.
  // FFmpeg asks this many times per packet: no lock there.
  session.input->interrupt_callback.callback = [](void* self) -> int {
    return static_cast<FfmpegCameraFeed*>(self)->interrupted_.load() ? 1 : 0;
  };
  session.input->interrupt_callback.opaque = this;
  if (!format || avformat_open_input(&session.input, url.c_str(), format, nullptr) < 0)
    return failInit("Failed to add video capture filter");
  const AVCodec* codec = nullptr;
  if (avformat_find_stream_info(session.input, nullptr) < 0 ||
      (session.stream = av_find_best_stream(session.input, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0)) < 0 || !codec)
    return failInit("Failed to connect video filters");
  session.decoder = avcodec_alloc_context3(codec);
  if (!session.decoder ||
      avcodec_parameters_to_context(session.decoder, session.input->streams[session.stream]->codecpar) < 0 ||
      avcodec_open2(session.decoder, codec, nullptr) < 0)
    return failInit("Failed to connect video filters");
  // The picture is turned left to right as each frame is converted.
  DebugOutput("Successfully applied horizontal flip using VMR9 SetOutputRect\n");
  DebugOutput(words_.summary + " initialized successfully\n");

  const AVRational timeBase = session.input->streams[session.stream]->time_base;
  int64_t firstPts = AV_NOPTS_VALUE;
  std::chrono::steady_clock::time_point firstAt;
  bool seenPicture = false;
  while (true) {
    const int read = av_read_frame(session.input, session.packet);
    if (read < 0 && interrupted_) break;
    if (read < 0 || avcodec_send_packet(session.decoder, session.packet) < 0) {
      av_packet_unref(session.packet);
      if (!seenPicture) DebugOutput(words_.failedStart + "\n");
      if (callbacks.failed) callbacks.failed();
      break;
    }
    av_packet_unref(session.packet);
    while (avcodec_receive_frame(session.decoder, session.frame) == 0) {
      // A virtual source gives frames as fast as they are read: keep to their times.
      if (virtualSource && session.frame->pts != AV_NOPTS_VALUE) {
        if (firstPts == AV_NOPTS_VALUE) {
          firstPts = session.frame->pts;
          firstAt = std::chrono::steady_clock::now();
        }
        const auto due = firstAt + std::chrono::microseconds(av_rescale_q(session.frame->pts - firstPts, timeBase,
                                                                        AVRational{1, 1000000}));
        if (!WaitUntil(due)) {
          av_frame_unref(session.frame);
          return;
        }
      }
      QSize size;
      {
        std::lock_guard<std::mutex> guard(lock_);
        size = pictureSize_;
      }
      session.scaler = sws_getCachedContext(session.scaler, session.frame->width, session.frame->height,
                                            static_cast<AVPixelFormat>(session.frame->format), size.width(),
                                            size.height(), AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
      if (!session.scaler) {
        av_frame_unref(session.frame);
        say("Failed to connect video filters");
        if (callbacks.failed) callbacks.failed();
        return;
      }
      QImage picture(size, QImage::Format_RGB32);
      uint8_t* planes[4] = {picture.bits(), nullptr, nullptr, nullptr};
      int strides[4] = {static_cast<int>(picture.bytesPerLine()), 0, 0, 0};
      sws_scale(session.scaler, session.frame->data, session.frame->linesize, 0, session.frame->height, planes,
                strides);
      av_frame_unref(session.frame);
      picture.mirror(true, false);
      bool wasEmpty;
      {
        std::lock_guard<std::mutex> guard(lock_);
        wasEmpty = newest_.isNull();
        newest_ = std::move(picture);
      }
      if (!seenPicture) {
        seenPicture = true;
        DebugOutput(words_.summary + " started successfully\n");
        if (callbacks.started) callbacks.started();
      }
      // One notice per filled slot: the window never falls behind a queue.
      if (wasEmpty && callbacks.pictureReady) callbacks.pictureReady();
    }
  }
}

}  // namespace orvex
