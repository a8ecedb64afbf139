#include <exception>
#include <string>
#include <thread>

#include "platform/Log.h"
#include "src/PictureConverter.h"
#include "src/PictureRing.h"
#include "src/CaptureThreads.h"
#include "src/Output.h"
#include "src/ResourceMonitor.h"
#include "src/StreamTargets.h"

namespace capmill {
namespace {

// Frames closer than this share of a frame interval to the last one are
// dropped: a burst the grabber delivers to catch up comes a few ms apart,
// while the picture after one grabbed late by up to half an interval is kept.
constexpr int64_t kMinFrameSpacingPercent = 50;

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

// The file the recording writes, for the stop reports.
std::string RecordingPath(const MediaInput& input) { return input.output ? input.output->path() : input.outputPath; }

// Sends the converted picture; takes packets out only when the encoder refuses
// a new frame. False on an encoder error.
bool EncodeFrame(MediaInput& input, const AVFrame* picture) {
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
    result = avcodec_send_frame(input.encoderContext, picture);
    if (result == 0) return true;
  }
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

// Pictures between the capture and the encoder: at 60 fps, six cover 100 ms
// of an encoder running late.
constexpr int kQueuedPictures = 6;

// Encodes and writes the ring's pictures in order until the capture closes
// the ring. After an encoder error the rest is taken and left unencoded.
void EncodeQueued(MediaInput& input, PictureRing& ring) {
  PictureRing::Item item;
  bool failed = false;
  while (ring.Pop(item)) {
    if (!failed) {
      item.picture->pts = item.pts;
      item.picture->pkt_duration = item.duration;
      failed = !EncodeFrame(input, item.picture);
      av_packet_unref(input.outputPacket);
      if (failed) ring.Fail();
    }
    ring.Done(item);
  }
}

// Grabs, stamps and converts screen pictures into the ring until stop, the
// end of the source or an encoder failure.
void CaptureIntoRing(MediaInput& input, PictureRing& ring) {
  int64_t lastPts = 0;
  AVFrame* lastPicture = nullptr;
  int64_t dropped = 0;
  int64_t crowded = 0;
  const int64_t minFrameSpacing =
      input.frameRate > 0 ? kMinFrameSpacingPercent * 90000 / (100 * static_cast<int64_t>(input.frameRate)) : 0;
  CaptureReader reader("video frame", "Video input reached end of file");

  bool sourceLost = false;
  while (!Engine().stopRequested && !ring.Failed()) {
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
    if (lastPicture && pts - lastPts < minFrameSpacing) {
      ++crowded;
      av_packet_unref(input.inputPacket);
      continue;
    }
    // Every picture still waits for the encoder: this one is lost, and the
    // next one lasts until its own time.
    AVFrame* picture = ring.Writable();
    if (!picture) {
      ++dropped;
      av_packet_unref(input.inputPacket);
      continue;
    }

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
    // A picture of the encoder's own size takes the SIMD conversion; a
    // scaled one keeps libswscale.
    if (!ConvertWithYuv(input.decodedFrame, picture) &&
        sws_scale(input.scaler, input.decodedFrame->data, input.decodedFrame->linesize, 0,
                  input.decodedFrame->height, picture->data, picture->linesize) <= 0)
      log::Out("Error while executing sws_scale");
    av_frame_unref(input.decodedFrame);
    av_packet_unref(input.inputPacket);
    ring.Push(picture, pts, pts - lastPts);
    lastPicture = picture;
    lastPts = pts;
  }
  if (dropped > 0 || crowded > 0)
    log::Debug("Screen pictures dropped: " + std::to_string(dropped) + " while the encoder was behind, " +
               std::to_string(crowded) + " too close to the one before\n");
  // Without an encoder the picture stops; so does the sound, and the file
  // is finished with what it holds.
  if (ring.Failed())
    StopRecordingFor("Screen encoding failed", RecordingPath(input));
  if (sourceLost) {
    // Without a picture there is no recording: the sound ends now too.
    StopRecordingFor("Screen capture lost", RecordingPath(input));
    // The picture stood still while the source was retried; it lasts until
    // now, where the sound ends, so both tracks end together.
    int level = 0;
    const int64_t pts = StampFrame(input, level);
    if (lastPicture && pts > lastPts) ring.Push(lastPicture, pts, pts - lastPts);
  }
}

void RunScreenCapture(MediaInput& input, const std::function<void()>& waitForOtherWriters) {
  av_packet_free(&input.outputPacket);
  input.outputPacket = av_packet_alloc();
  if (!input.outputPacket) {
    log::ErrLine("Failed to allocate output packet in ScreenCapThread");
    if (waitForOtherWriters) waitForOtherWriters();
    return;
  }
  std::exception_ptr encoderCrash;
  {
    // Grabbing and encoding run side by side: a grab waits only for the
    // grabber's own clock, never for an encoding that runs late.
    PictureRing ring(input.convertedFrame, kQueuedPictures);
    std::thread encoder([&input, &ring, &encoderCrash] {
      try {
        EncodeQueued(input, ring);
      } catch (...) {
        encoderCrash = std::current_exception();
        ring.Fail();
        PictureRing::Item item;
        while (ring.Pop(item)) ring.Done(item);
      }
    });
    struct CloseAndJoin {
      PictureRing& ring;
      std::thread& thread;
      ~CloseAndJoin() {
        ring.Close();
        thread.join();
      }
    } closeAndJoin{ring, encoder};
    if (ring.Ok()) CaptureIntoRing(input, ring);
    else StopRecordingFor("No picture to capture into", RecordingPath(input));
  }
  if (encoderCrash) std::rethrow_exception(encoderCrash);
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
