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
// After this many read errors in a row (and each as many more), whether the
// source is gone for good.
constexpr int kSourceCheckEvery = 3;
constexpr int kTimestampUnitsPerMs = 90;

// Captures, encodes and writes the screen until stop, end of input or too many
// read errors. waitForOtherWriters returns once every other capture thread of
// the recording has written its last packet; the file's trailer follows it.
void ScreenCapThread(MediaInput& input, const std::function<void()>& waitForOtherWriters = {});

// Captures, encodes and writes one audio device.
void MicCaptureThread(MediaInput& input);

// An audio thread that failed finishes its own file (none for a track of
// the shared file), so that what it wrote stays playable.
void FinishOwnAudioFile(MediaInput& input);

// The microphone thread with the music input mixed into every block at
// volume (0..1); without a usable music input, the plain microphone thread.
void MicCaptureThreadWithMusic(MediaInput& mic, MediaInput* music, double volume);

// The microphone thread with music that is also heard on the default output:
// runs the music pipeline and mixes the music frames whose time has come.
void MicCaptureThreadWithMusicAndPlayback(MediaInput& mic, MediaInput* music, double volume);

// The texts that tell one audio thread from another.
struct AudioThreadTexts {
  const char* starting;    // null: the thread writes its own start lines
  const char* frameName;   // in the read error reports
  const char* endOfInput;
  const char* stopping;
  bool flushReports;       // the "Flushing final" line and the flush's error reports
  const char* ending;
};
extern const AudioThreadTexts kMicTexts;

// Called with each converted block of the device before it enters the FIFO,
// with the time its first sample was captured, in ms on the recording clock.
using MixStep = std::function<void(uint8_t** samples, int count, int64_t capturedMs)>;

// The capture loop and ending sequence of an audio thread on the device's
// input: read, decode, place on the timeline, convert, mix, encode, write.
// Throws what the FIFO and the sample buffers throw.
void RunAudioCapture(MediaInput& input, const AudioThreadTexts& texts, const MixStep& mix);

// Appends count samples to the input's FIFO, growing it first.
void FifoWrite(MediaInput& input, uint8_t** samples, int count);

// Reading with the shared retry policy of the capture threads.
class CaptureReader {
 public:
  enum class Result { Packet, Retry, End };
  // frameName names what is read in the error reports ("video frame");
  // endOfInput is the line written at the end of the input.
  CaptureReader(const char* frameName, const char* endOfInput) : frameName_(frameName), endOfInput_(endOfInput) {}
  // Reads one packet into input.inputPacket; drops it while paused.
  Result Read(MediaInput& input);
  int errorCount() const { return errorCount_; }

 private:
  const char* frameName_;
  const char* endOfInput_;
  int errorCount_ = 0;
};

void SleepMs(int milliseconds);

// Tells the encoder that no more frames come. The send is refused while the
// encoder still holds an unread packet: each refusal hands one packet to
// writePacket and the send is tried again, so the encoder really drains.
void SendEndOfStream(AVCodecContext* encoder, AVPacket* packet, const std::function<void()>& writePacket);

}  // namespace capmill
