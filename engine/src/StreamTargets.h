// Live stream targets: one output container per URL, fed with copies of the
// packets written to the file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "src/MediaInput.h"

namespace capmill {

class PellamCapmill;

// One stream target. Owned by the recording operation; the engine's registry
// only refers to it. All members are touched under EngineLock once registered.
class StreamTarget {
 public:
  explicit StreamTarget(AVFormatContext* container);
  ~StreamTarget();  // closes the connection if open and frees the container
  StreamTarget(const StreamTarget&) = delete;
  StreamTarget& operator=(const StreamTarget&) = delete;

  AVFormatContext* container = nullptr;
  // The header of a target whose video track has no decoder configuration yet
  // waits for the first key frame, which carries the parameter sets.
  bool headerWritten = false;
  bool headerPending = false;
  // Set once a write timed out: later writes fail at once instead of blocking
  // the file for the whole timeout again.
  bool abandoned = false;

  std::string Url() const;
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
// Writes the trailer of every registered target (the list, else the primary).
void WriteStreamTargetTrailers();

}  // namespace capmill
