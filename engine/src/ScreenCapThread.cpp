#include <utility>

#include "platform/Log.h"
#include "src/PictureConverter.h"
#include "src/CaptureThreads.h"
#include "src/Output.h"
#include "src/ResourceMonitor.h"
#include "src/StreamTargets.h"

namespace capmill {
namespace {

// Frames closer than this share of a frame interval to the last one are dropped.
constexpr int64_t kMinFrameSpacingPercent = 75;

// Writes one encoded screen packet to the file directly, or through the router
// when stream targets exist.
void WriteScreenPacket(MediaInput& input) {
  // Frames are stamped in 1/90000 s; a container may keep its own time base
  // (Matroska: 1/1000).
  av_packet_rescale_ts(input.outputPacket, AVRational{1, kTimestampUnitsPerMs * 1000}, input.outputStream->time_base);
  if (HaveStreamTargets()) {
    RoutePacket(input.outputPacket, input.outputStream, input);
    return;
  }
  if (input.output) input.output->WritePacket(input.outputPacket);
}

// Wall-clock timestamp of the current frame in 1/90000 s, and the throttle level.
int64_t StampFrame(MediaInput& input, int& level) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  const RecordingClock* clock = Engine().activeClock ? Engine().activeClock : input.clock;
  level = Engine().adaptiveQualityLevel;
  const int64_t elapsedMs = (NowTicks() - clock->start) / kTicksPerMs;
  return (elapsedMs - clock->pausedTotalMs + Engine().audioDelayCurrentMs) * kTimestampUnitsPerMs;
}

// Sends the converted frame; takes packets out only when the encoder refuses
// a new frame. False on an encoder error.
bool EncodeFrame(MediaInput& input) {
  int result = 0;
  for (;;) {
    if (result == AVERROR(EAGAIN)) {
      av_packet_unref(input.outputPacket);
      if (avcodec_receive_packet(input.encoderContext, input.outputPacket) < 0) return true;
      input.outputPacket->duration = 0;
      WriteScreenPacket(input);
    } else if (result < 0) {
      log::Out("\nError :" + AvErrorText(result));
      return false;
    }
    result = avcodec_send_frame(input.encoderContext, input.convertedFrame);
    if (result == 0) return true;
  }
}

// A second picture of the same size and format, or null.
AVFrame* NewPictureLike(const AVFrame* picture) {
  AVFrame* copy = av_frame_alloc();
  if (!copy) return nullptr;
  copy->width = picture->width;
  copy->height = picture->height;
  copy->format = picture->format;
  if (av_frame_get_buffer(copy, 0) < 0) av_frame_free(&copy);
  return copy;
}

// The encoder keeps a reference to the last picture it accepted until it is
// asked for a packet, so scaling into that picture would change a frame not
// yet encoded. Two pictures take turns instead of copying a held one (a fresh
// buffer and a full copy per frame); the copy remains the fallback.
void UseWritablePicture(MediaInput& input, AVFrame*& spare) {
  if (!av_frame_is_writable(input.convertedFrame) && spare && av_frame_is_writable(spare))
    std::swap(input.convertedFrame, spare);
  av_frame_make_writable(input.convertedFrame);
}

void EndScreenCapture(MediaInput& input, const std::function<void()>& waitForOtherWriters) {
  SendEndOfStream(input.encoderContext, input.outputPacket, [&input] { WriteScreenPacket(input); });
  for (;;) {
    av_packet_unref(input.outputPacket);
    if (avcodec_receive_packet(input.encoderContext, input.outputPacket) < 0) break;
    WriteScreenPacket(input);
  }
  // The file is finished only after the audio thread's last packet.
  if (waitForOtherWriters) waitForOtherWriters();
  if (!input.output || (input.output->Finish() < 0 && !input.output->failed()))
    log::Out("\nerror in writing av trailer");
  WriteStreamTargetTrailers();
  av_packet_free(&input.outputPacket);
  log::ErrLine("Video thread ending normally");
}

}  // namespace

namespace {

void RunScreenCapture(MediaInput& input, const std::function<void()>& waitForOtherWriters) {
  av_packet_free(&input.outputPacket);
  input.outputPacket = av_packet_alloc();
  if (!input.outputPacket) {
    log::ErrLine("Failed to allocate output packet in ScreenCapThread");
    if (waitForOtherWriters) waitForOtherWriters();
    return;
  }
  int64_t lastPts = 0;
  bool haveFrame = false;
  const int64_t minFrameSpacing =
      input.frameRate > 0 ? kMinFrameSpacingPercent * 90000 / (100 * static_cast<int64_t>(input.frameRate)) : 0;
  CaptureReader reader("video frame", "Video input reached end of file");
  AVFrame* spare = NewPictureLike(input.convertedFrame);

  bool sourceLost = false;
  while (!Engine().stopRequested) {
    const CaptureReader::Result read = reader.Read(input);
    if (read == CaptureReader::Result::End) {
      sourceLost = !Engine().stopRequested;
      break;
    }
    if (read == CaptureReader::Result::Retry) continue;

    try {
      CheckSystemResources();
    } catch (...) {
      log::ErrLine("System resource checking failed, continuing with normal video processing");
    }
    int level = 0;
    const int64_t pts = StampFrame(input, level);
    if (level >= 1) SleepMs(1);
    // Frames the grabber buffered during setup, or delivers in a burst to
    // catch up after a stall, would crowd the timeline: keep the frame rate.
    if (haveFrame && pts - lastPts < minFrameSpacing) {
      av_packet_unref(input.inputPacket);
      continue;
    }
    haveFrame = true;

    if (int code = avcodec_send_packet(input.av_cntx_in, input.inputPacket); code < 0) {
      log::ErrLine("Error while sending packet: " + AvErrorText(code));
      av_packet_unref(input.inputPacket);
      continue;
    }
    if (avcodec_receive_frame(input.av_cntx_in, input.decodedFrame) < 0) {
      log::Out("Error while receiving frame from decoder");
      av_packet_unref(input.inputPacket);
      lastPts = pts;
      continue;
    }
    av_packet_unref(input.outputPacket);
    input.outputPacket->pts = input.outputPacket->dts = pts;
    input.outputPacket->duration = pts - lastPts;
    UseWritablePicture(input, spare);
    input.convertedFrame->pts = pts;
    input.convertedFrame->pkt_duration = pts - lastPts;
    // A picture of the encoder's own size takes the SIMD conversion; a
    // scaled one keeps libswscale.
    if (!ConvertWithYuv(input.decodedFrame, input.convertedFrame) &&
        sws_scale(input.scaler, input.decodedFrame->data, input.decodedFrame->linesize, 0,
                  input.decodedFrame->height, input.convertedFrame->data, input.convertedFrame->linesize) <= 0)
      log::Out("Error while executing sws_scale");
    av_frame_unref(input.decodedFrame);

    const bool encoded = EncodeFrame(input);
    av_packet_unref(input.inputPacket);
    av_packet_unref(input.outputPacket);
    if (!encoded) break;
    lastPts = pts;
  }
  av_frame_free(&spare);
  if (sourceLost) {
    // Without a picture there is no recording: the sound ends now too.
    StopRecordingFor("Screen capture lost", input.output ? input.output->path() : input.outputPath);
    // The picture stood still while the source was retried; it lasts until
    // now, where the sound ends, so both tracks end together.
    int level = 0;
    const int64_t pts = StampFrame(input, level);
    if (haveFrame && pts > lastPts) {
      input.convertedFrame->pts = pts;
      input.convertedFrame->pkt_duration = pts - lastPts;
      EncodeFrame(input);
      av_packet_unref(input.outputPacket);
    }
  }
  EndScreenCapture(input, waitForOtherWriters);
}

}  // namespace

void ScreenCapThread(MediaInput& input, const std::function<void()>& waitForOtherWriters) {
  bool waited = false;
  const auto waitOnce = [&] {
    if (waited || !waitForOtherWriters) return;
    waited = true;
    waitForOtherWriters();
  };
  try {
    RunScreenCapture(input, waitOnce);
  } catch (...) {
    // One failure must not end the host process, nor leave the file without
    // its trailer: finish what the other writers leave.
    log::ErrLine("Video thread crashed, but continuing...");
    Engine().stopRequested = true;
    waitOnce();
    if (input.output) input.output->Finish();
    WriteStreamTargetTrailers();
  }
}

}  // namespace capmill
