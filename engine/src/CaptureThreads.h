// The bodies of the screen and microphone capture threads.
#pragma once

#include <functional>

#include "src/MediaInput.h"

namespace capmill {

constexpr int kMaxConsecutiveReadErrors = 100;
constexpr int kReadErrorReportEvery = 10;
constexpr int kReadBackoffPerErrorMs = 2;
constexpr int kMaxReadBackoffMs = 100;
constexpr int kTryAgainWaitMs = 10;
constexpr int kTimestampUnitsPerMs = 90;

// Captures, encodes and writes the screen until stop, end of input or too many
// read errors. waitForOtherWriters returns once every other capture thread of
// the recording has written its last packet; the file's trailer follows it.
void ScreenCapThread(MediaInput& input, const std::function<void()>& waitForOtherWriters = {});

// Captures, encodes and writes one audio device.
void MicCaptureThread(MediaInput& input);

// Appends count samples to the input's FIFO, growing it first.
void FifoWrite(MediaInput& input, uint8_t** samples, int count);

// Reading with the shared retry policy of both capture threads.
class CaptureReader {
 public:
  enum class Result { Packet, Retry, End };
  // mediaName is "video" or "audio"; it names the thread in the reports.
  explicit CaptureReader(const char* mediaName) : mediaName_(mediaName) {}
  // Reads one packet into input.inputPacket; drops it while paused.
  Result Read(MediaInput& input);
  int errorCount() const { return errorCount_; }

 private:
  const char* mediaName_;
  int errorCount_ = 0;
};

void SleepMs(int milliseconds);

// Tells the encoder that no more frames come. The send is refused while the
// encoder still holds an unread packet: each refusal hands one packet to
// writePacket and the send is tried again, so the encoder really drains.
void SendEndOfStream(AVCodecContext* encoder, AVPacket* packet, const std::function<void()>& writePacket);

}  // namespace capmill
