// Live stream targets: one output container per URL, fed with copies of the
// packets written to the file.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "src/MediaInput.h"

namespace capmill {

class PellamCapmill;

// One stream target. Owned by the recording operation; the engine's registry
// only refers to it. Capture threads hand it packet copies; its own sender
// thread does all the network writing, so a slow or stalled server never
// holds up the file or the engine.
class StreamTarget {
 public:
  explicit StreamTarget(AVFormatContext* container);
  ~StreamTarget();  // finishes the sender, closes the connection, frees the container
  StreamTarget(const StreamTarget&) = delete;
  StreamTarget& operator=(const StreamTarget&) = delete;

  // Touched by the setting-up thread until StartSender, then by the sender only.
  AVFormatContext* container = nullptr;
  // The header of a target whose video track has no decoder configuration yet
  // waits for the first key frame, which carries the parameter sets.
  bool headerWritten = false;
  bool headerPending = false;
  // Set once a write timed out, or at the end of the flush: the connection's
  // blocking calls give up at once.
  std::atomic<bool> abandoned{false};

  std::string Url() const;
  // Whether the target carries a track of the type. Fixed when the sender
  // starts, so capture threads may ask while the sender replaces its container.
  bool Carries(AVMediaType type) const { return type == AVMEDIA_TYPE_VIDEO ? hasVideo_ : type == AVMEDIA_TYPE_AUDIO && hasAudio_; }

  // Starts the sender; index names the target in reports (-1: the single target).
  void StartSender(int index);
  // Hands over a copy of a packet (timestamps in the file track's time base);
  // the copy is consumed. Never blocks on the network.
  void Enqueue(AVPacket* copy, const AVStream* source);
  // Asks the sender to send what is queued and then the trailer.
  void BeginFinish();
  // Waits until the sender is done or the deadline passes (then the
  // connection is interrupted), and joins it. Once per target; later calls return.
  void EndFinish(std::chrono::steady_clock::time_point deadline);

 private:
  struct Queued {
    AVPacket* packet;
    AVRational timeBase;
    AVMediaType type;
    int64_t mediaMs;
  };
  void SenderLoop();
  void Send(Queued& item);
  void ConnectionLost();
  // Tries again once the back-off has passed; true when connected.
  bool Reconnect();
  int64_t QueuedSpanMsLocked() const;

  std::string url_;
  int index_ = -1;
  bool hasVideo_ = false;
  bool hasAudio_ = false;
  // The sender's own: the connection broke after setup and is being retried.
  bool connected_ = true;
  bool waitForKeyFrame_ = false;
  int reconnectAttempt_ = 0;
  int64_t lastSentMs_ = 0;  // media time of the last packet the server took
  std::chrono::milliseconds retryDelay_{0};
  std::chrono::steady_clock::time_point nextAttempt_{};
  std::thread sender_;
  std::mutex queueLock_;                 // guards the fields below
  std::condition_variable queueChanged_;
  std::deque<Queued> queue_;
  bool finishing_ = false;
  bool senderDone_ = false;
  bool dropping_ = false;  // behind by more than the queue's span: video waits for a key frame
  bool finished_ = false;  // EndFinish ran
};

// Raised by CreateStreamTarget and OpenStreamTarget for the one-URL case.
class StreamSetupError : public CaptureError {
 public:
  enum class Step { Container, VideoStream, VideoParams, AudioStream, AudioParams, Open };
  StreamSetupError(Step failedStep, const std::string& message) : CaptureError(message), step(failedStep) {}
  Step step;
};

// Registry, under EngineLock.
void SetPrimaryStreamTarget(StreamTarget* target);
void AddStreamTarget(StreamTarget* target);
void ClearStreamTargets();

// Builds a target for url with tracks copied from the file's tracks.
std::unique_ptr<StreamTarget> CreateStreamTarget(const std::string& url, MediaInput* screen, MediaInput* audio,
                                                 const PellamCapmill& session);
// Opens the URL and writes the header (or defers it, see StreamTarget).
void OpenStreamTarget(StreamTarget* target);

// Sets up a target per URL for the list case, reporting and skipping every
// failure. Registers the targets and returns them in URL order.
std::vector<std::unique_ptr<StreamTarget>> SetUpStreamTargets(const char* const* urls, int urlCount,
                                                              MediaInput* screen, MediaInput* audio,
                                                              const PellamCapmill& session);

// Writes an encoded packet (timestamps in the file track's time base) to the
// file and a copy to every stream target. The packet is consumed.
void RoutePacket(AVPacket* packet, AVStream* source, MediaInput& input);
void RoutePacketToAll(AVPacket* packet, AVStream* source, MediaInput& input);

// True when any stream target is registered.
bool HaveStreamTargets();
// Finishes every registered target (the list, else the primary): each gets
// up to kStreamFlushMs to send what it holds and its trailer.
void WriteStreamTargetTrailers();

constexpr int kStreamFlushMs = 2000;
// A target further behind than this drops video until the next key frame.
constexpr int64_t kMaxQueuedMediaMs = 2000;
// And never holds more than this many packets (a frozen server).
constexpr size_t kMaxQueuedPackets = 4096;
// A broken connection is retried after 2 s, then each wait is 1.5 times the
// last, up to 30 s, for as long as the recording runs.
constexpr std::chrono::milliseconds kFirstRetryDelay{2000};
constexpr std::chrono::milliseconds kMaxRetryDelay{30000};

}  // namespace capmill
