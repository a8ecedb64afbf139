#include <chrono>
#include <cstdlib>
#include <thread>

extern "C" {
#include <libavutil/time.h>
}

#include "platform/CaptureDevices.h"
#include "platform/Log.h"
#include "src/CaptureThreads.h"

namespace capmill {

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void SendEndOfStream(AVCodecContext* encoder, AVPacket* packet, const std::function<void()>& writePacket) {
  while (avcodec_send_frame(encoder, nullptr) == AVERROR(EAGAIN)) {
    av_packet_unref(packet);
    if (avcodec_receive_packet(encoder, packet) < 0) return;
    writePacket();
  }
}

namespace {

// Whether the screen picture just read was grabbed before this wall-clock
// moment. The X11 grabber stamps each picture with the wall clock in
// microseconds as it grabs it; stamps of any other kind are never judged.
bool GrabbedBefore(const MediaInput& input, int64_t wallUs) {
  if (wallUs <= 0 || !input.ifmt_ctx || input.inputPacket->pts == AV_NOPTS_VALUE) return false;
  const unsigned index = static_cast<unsigned>(input.inputPacket->stream_index);
  if (index >= input.ifmt_ctx->nb_streams) return false;
  const AVRational base = input.ifmt_ctx->streams[index]->time_base;
  if (base.num != 1 || base.den != 1000000) return false;
  const int64_t pts = input.inputPacket->pts;
  constexpr int64_t kPlausibleUs = 10'000'000;
  if (std::llabs(pts - av_gettime()) > kPlausibleUs) return false;
  return pts < wallUs;
}

}  // namespace

CaptureReader::Result CaptureReader::Read(MediaInput& input) {
  const int code = input.readPacket(input.inputPacket);
  if (code == AVERROR_EOF) {
    log::ErrLine(endOfInput_);
    return Result::End;
  }
  if (code == AVERROR(EAGAIN) || code == AVERROR(EINTR)) {
    SleepMs(kTryAgainWaitMs);
    errorCount_ = 0;
    return Result::Retry;
  }
  if (code < 0) {
    ++errorCount_;
    // A screen whose display has ended will not come back: waiting out a
    // hundred retries would leave the sound running on alone for seconds.
    if (errorCount_ % kSourceCheckEvery == 0 && input.kind == kScreenVideo && platform::ScreenSourceGone(input.ifmt_ctx)) {
      log::ErrLine(std::string("The screen source is gone. Last error: ") + AvErrorText(code) + ". Stopping recording.");
      return Result::End;
    }
    const std::string frame = std::string(frameName_) + " (";
    if (errorCount_ >= kMaxConsecutiveReadErrors) {
      log::ErrLine("Too many consecutive errors reading " + frame + std::to_string(errorCount_) +
                   " errors). Last error: " + AvErrorText(code) + ". Stopping recording.");
      return Result::End;
    }
    if (errorCount_ % kReadErrorReportEvery == 0)
      log::ErrLine("Error reading " + frame + "attempt " + std::to_string(errorCount_) + "/" +
                   std::to_string(kMaxConsecutiveReadErrors) + "): " + AvErrorText(code) + ". Retrying...");
    SleepMs(std::min(kReadBackoffPerErrorMs * errorCount_, kMaxReadBackoffMs));
    return Result::Retry;
  }
  errorCount_ = 0;
  std::optional<int64_t> pauseStart;
  int64_t resumedAtWallUs = 0;
  bool paused = false;
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    paused = Engine().paused;
    resumedAtWallUs = Engine().resumedAtWallUs;
    const RecordingClock* clock = Engine().activeClock;
    if (paused && clock && clock->isPaused) pauseStart = clock->pauseStart;
  }
  if (!paused) {
    // Judged outside the lock: the capture threads take it for every packet.
    if (input.kind != kScreenVideo || !GrabbedBefore(input, resumedAtWallUs)) return Result::Packet;
    // Grabbed while paused, read after the resume: it may still show what
    // the pause put on the screen (the recording controls).
    av_packet_unref(input.inputPacket);
    return Result::Retry;
  }
  // Sound captured before the pause began but read after it still belongs
  // to the recording: dropped, it would leave a hole at every pause.
  if (pauseStart && input.kind != kScreenVideo)
    if (const std::optional<int64_t> ageUs = platform::CaptureAgeUs(input.ifmt_ctx, input.inputPacket->pts))
      if (NowTicks() - *ageUs * (kTicksPerMs / 1000) < *pauseStart) return Result::Packet;
  av_packet_unref(input.inputPacket);
  return Result::Retry;
}

}  // namespace capmill
