#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/PlaybackStream.h"

namespace capmill::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kServerDeadline = std::chrono::seconds(3);
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 2 * kChannels;

struct Outcome {
  PlaybackFailure failure = PlaybackFailure::None;
  int code = 0;
};

// The threaded main loop with its lock held for the life of the guard.
class LoopLock {
 public:
  explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
  ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
  LoopLock(const LoopLock&) = delete;
  LoopLock& operator=(const LoopLock&) = delete;

 private:
  pa_threaded_mainloop* loop_;
};

// Waits, with the loop's lock held, until done() or the deadline. The loop's
// own wait has no time-out, so the lock is let go in short steps.
template <typename Done>
bool WaitLocked(pa_threaded_mainloop* loop, Done done) {
  const auto deadline = Clock::now() + kServerDeadline;
  while (!done()) {
    if (Clock::now() >= deadline) return false;
    pa_threaded_mainloop_unlock(loop);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    pa_threaded_mainloop_lock(loop);
  }
  return true;
}

// What a callback on the loop's thread hands back to the caller waiting for
// it. It has a lock of its own: the loop's lock lives inside libpulse, where
// the thread checker cannot see it order the two threads. It lives as long
// as the stream, made before the loop's thread starts, so that thread never
// meets memory the caller used for something else.
template <typename T>
class Answer {
 public:
  void Reset() {
    std::lock_guard<std::mutex> hold(mutex_);
    value_.reset();
  }
  void Set(T value) {
    std::lock_guard<std::mutex> hold(mutex_);
    value_ = std::move(value);
  }
  std::optional<T> Get() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return value_;
  }

 private:
  mutable std::mutex mutex_;
  std::optional<T> value_;
};

// Runs an operation to its end (or the deadline); whether it succeeded.
bool Complete(pa_threaded_mainloop* loop, pa_operation* operation, const Answer<int>* success = nullptr) {
  if (!operation) return false;
  const bool ended = WaitLocked(loop, [&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
  if (!ended) pa_operation_cancel(operation);
  pa_operation_unref(operation);
  return ended && (!success || success->Get().value_or(0));
}

void StoreSuccess(pa_stream*, int success, void* target) { static_cast<Answer<int>*>(target)->Set(success); }

struct ServerFacts {
  std::string defaultSink;
  uint32_t rate = 0;
};

void StoreServerFacts(pa_context*, const pa_server_info* info, void* target) {
  ServerFacts facts;
  if (info) {
    facts.defaultSink = info->default_sink_name ? info->default_sink_name : "";
    facts.rate = info->sample_spec.rate;
  }
  static_cast<Answer<ServerFacts>*>(target)->Set(std::move(facts));
}

class PulsePlaybackStream : public PlaybackStream {
 public:
  ~PulsePlaybackStream() override { Close(); }

  // The first failing step, or None when the stream plays.
  Outcome Open(int bufferMs) {
    loop_ = pa_threaded_mainloop_new();
    if (!loop_ || pa_threaded_mainloop_start(loop_) < 0) return {PlaybackFailure::Server};
    LoopLock hold(loop_);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "capmill playback");
    if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        !WaitLocked(loop_, [this] { return !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) ||
                                           pa_context_get_state(context_) == PA_CONTEXT_READY; }) ||
        pa_context_get_state(context_) != PA_CONTEXT_READY)
      return {PlaybackFailure::Server};

    facts_.Reset();
    if (!Complete(loop_, pa_context_get_server_info(context_, StoreServerFacts, &facts_)) || !facts_.Get())
      return {PlaybackFailure::DefaultOutput};
    const ServerFacts facts = *facts_.Get();
    if (facts.defaultSink.empty()) return {PlaybackFailure::DefaultOutput};
    if (facts.rate == 0) return {PlaybackFailure::Rate};
    rate_ = static_cast<int>(facts.rate);

    const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, facts.rate, kChannels};
    stream_ = pa_stream_new(context_, "capmill music", &sampleFormat, nullptr);
    if (!stream_) return {PlaybackFailure::Stream, pa_context_errno(context_)};
    pa_stream_set_write_callback(stream_, OnWriteRequest, this);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(pa_usec_to_bytes(static_cast<pa_usec_t>(bufferMs) * 1000, &sampleFormat));
    // The target length is the buffer (the server's own latency comes on
    // top). No pre-buffering: after an underrun the next write is heard at once.
    attributes.prebuf = 0;
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    if (pa_stream_connect_playback(stream_, facts.defaultSink.c_str(), &attributes,
                                   PA_STREAM_START_CORKED,
                                   nullptr, nullptr) < 0 ||
        !WaitLocked(loop_, [this] { return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) ||
                                           pa_stream_get_state(stream_) == PA_STREAM_READY; }) ||
        pa_stream_get_state(stream_) != PA_STREAM_READY)
      return {PlaybackFailure::Stream, pa_context_errno(context_)};

    const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream_);
    if (!granted || granted->tlength == 0) return {PlaybackFailure::BufferSize};
    bufferFrames_ = granted->tlength / kBytesPerFrame;
    success_.Reset();
    if (!Complete(loop_, pa_stream_cork(stream_, 0, StoreSuccess, &success_), &success_))
      return {PlaybackFailure::Start, pa_context_errno(context_)};
    return {};
  }

  int rate() const override { return rate_; }
  int channels() const override { return kChannels; }
  uint32_t bufferFrames() const override { return bufferFrames_; }

  std::optional<uint32_t> QueuedFrames() override {
    LoopLock hold(loop_);
    if (!Usable()) return std::nullopt;
    const size_t writable = pa_stream_writable_size(stream_);
    if (writable == static_cast<size_t>(-1)) return std::nullopt;
    const uint32_t free = static_cast<uint32_t>(std::min<size_t>(writable / kBytesPerFrame, bufferFrames_));
    return free >= bufferFrames_ ? 0 : bufferFrames_ - free;
  }

  int Write(const int16_t* samples, uint32_t frames) override {
    LoopLock hold(loop_);
    if (!Usable()) return -PA_ERR_BADSTATE;
    size_t writable = pa_stream_writable_size(stream_);
    if (writable == static_cast<size_t>(-1)) return -pa_context_errno(context_);
    // Room beyond the whole buffer means the stream ran dry and played on
    // past what was written. The server still counts that stretch as
    // missing: fill it with silence (it lies in the past and is dropped), so
    // the new sound lands at the play position and is heard at once.
    const size_t buffer = static_cast<size_t>(bufferFrames_) * kBytesPerFrame;
    if (writable > buffer) {
      const size_t missing = (writable - buffer) / kBytesPerFrame * kBytesPerFrame;
      if (silence_.size() < missing) silence_.assign(missing, 0);
      if (missing > 0 && pa_stream_write(stream_, silence_.data(), missing, nullptr, 0, PA_SEEK_RELATIVE) < 0)
        return -pa_context_errno(context_);
      writable = buffer;
    }
    const uint32_t taken = std::min<uint32_t>(frames, static_cast<uint32_t>(writable / kBytesPerFrame));
    if (taken == 0) return 0;
    if (pa_stream_write(stream_, samples, static_cast<size_t>(taken) * kBytesPerFrame, nullptr, 0, PA_SEEK_RELATIVE) < 0)
      return -pa_context_errno(context_);
    return static_cast<int>(taken);
  }

  bool WaitForWriteRequest(int timeoutMs) override {
    std::unique_lock<std::mutex> hold(requestLock_);
    const bool asked = requested_.wait_for(hold, std::chrono::milliseconds(timeoutMs), [this] { return writeRequested_; });
    writeRequested_ = false;
    return asked;
  }

  int Start() override { return Cork(0); }
  int Stop() override { return Cork(1); }
  int Reset() override {
    LoopLock hold(loop_);
    if (!Usable()) return -PA_ERR_BADSTATE;
    success_.Reset();
    return Complete(loop_, pa_stream_flush(stream_, StoreSuccess, &success_), &success_) ? 0 : -pa_context_errno(context_);
  }

 private:
  static void OnWriteRequest(pa_stream*, size_t, void* self) {
    auto* stream = static_cast<PulsePlaybackStream*>(self);
    {
      std::lock_guard<std::mutex> hold(stream->requestLock_);
      stream->writeRequested_ = true;
    }
    stream->requested_.notify_all();
  }

  bool Usable() const { return stream_ && pa_stream_get_state(stream_) == PA_STREAM_READY; }

  int Cork(int corked) {
    LoopLock hold(loop_);
    if (!Usable()) return -PA_ERR_BADSTATE;
    success_.Reset();
    return Complete(loop_, pa_stream_cork(stream_, corked, StoreSuccess, &success_), &success_) ? 0 : -pa_context_errno(context_);
  }

  // Ends the stream and the connection, then the loop's thread.
  void Close() {
    if (!loop_) return;
    {
      LoopLock hold(loop_);
      if (stream_) {
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
        stream_ = nullptr;
      }
      if (context_) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
      }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  int rate_ = 0;
  uint32_t bufferFrames_ = 0;
  std::vector<uint8_t> silence_;
  Answer<ServerFacts> facts_;
  Answer<int> success_;
  // The server's requests for more sound, for a writer that waits for them.
  std::mutex requestLock_;
  std::condition_variable requested_;
  bool writeRequested_ = false;
};

}  // namespace

PlaybackOpening OpenDefaultPlayback(int bufferMs) {
  auto stream = std::make_unique<PulsePlaybackStream>();
  PlaybackOpening opening;
  const Outcome outcome = stream->Open(bufferMs);
  opening.failure = outcome.failure;
  opening.code = outcome.code;
  if (outcome.failure == PlaybackFailure::None) opening.stream = std::move(stream);
  return opening;
}

}  // namespace capmill::platform
