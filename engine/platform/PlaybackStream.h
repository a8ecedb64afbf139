// A render stream on the default audio output: signed 16-bit interleaved
// samples at the server's own rate, written without ever waiting.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace capmill::platform {

class PlaybackStream {
 public:
  virtual ~PlaybackStream() = default;
  virtual int rate() const = 0;
  virtual int channels() const = 0;
  // The stream's buffer (its target length) in frames.
  virtual uint32_t bufferFrames() const = 0;
  // Frames written and not yet played; nullopt when the server cannot say.
  virtual std::optional<uint32_t> QueuedFrames() = 0;
  // Queues up to `frames` frames at once and returns how many it took
  // (fewer when the buffer is fuller), or a negative error code.
  virtual int Write(const int16_t* samples, uint32_t frames) = 0;
  // Playing on and off, and dropping what is queued. False or a negative
  // code on failure.
  virtual int Start() = 0;
  virtual int Stop() = 0;
  virtual int Reset() = 0;
  // Waits up to timeoutMs for the server to ask for more sound (true) or
  // for the time-out (false).
  virtual bool WaitForWriteRequest(int timeoutMs) = 0;
};

// The step of the opening that failed; each user words it its own way.
enum class PlaybackFailure {
  None,
  Server,         // connecting to the sound server
  DefaultOutput,  // no default output
  Rate,           // the server's rate
  Stream,         // creating or connecting the stream; code: the server's error
  BufferSize,     // the stream's buffer
  Start,          // starting to play; code: the server's error
};

struct PlaybackOpening {
  std::unique_ptr<PlaybackStream> stream;  // null on failure
  PlaybackFailure failure = PlaybackFailure::None;
  int code = 0;
};

// Opens a stream on the default output with a buffer of about bufferMs,
// started (playing). Every wait on the server has a deadline: a silent or
// vanished server gives a failure, never a hang.
PlaybackOpening OpenDefaultPlayback(int bufferMs);

}  // namespace capmill::platform
