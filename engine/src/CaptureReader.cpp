#include <chrono>
#include <thread>

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
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    if (!Engine().paused) return Result::Packet;
    const RecordingClock* clock = Engine().activeClock;
    if (clock && clock->isPaused) pauseStart = clock->pauseStart;
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
