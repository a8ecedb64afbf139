// Takes the music frames whose time has come off the mixing thread's ready
// list and mixes them into the microphone's blocks, every music sample once:
// a frame a block does not use up waits for the next block.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>

#include "src/MusicPipeline.h"

namespace capmill {

class ReadyListMixer {
 public:
  // Music stamped further back than this is stale: dropped unmixed.
  static constexpr int64_t kStaleMs = 500;
  // Music is taken up to this much before its time; music that runs on from
  // the frame mixed last, up to this much more.
  static constexpr int64_t kEarlyMs = 200;
  static constexpr int64_t kFlowSlackMs = 300;
  // Timestamps this close continue each other.
  static constexpr double kContinuityMs = 2;

  explicit ReadyListMixer(const AVCodecContext* encoder) : encoder_(encoder) {}

  // Mixes into the block of `count` samples (encoder format), captured when
  // the recording was elapsedMs old, the music due then: frames stamped T
  // with T - (elapsed - total delay) within [-500, +200] ms. The music's
  // start enters a recording once it is total delay - 200 ms old.
  void MixInto(MixingContext& mixing, uint8_t** block, int count, int64_t elapsedMs);

 private:
  // How far the next unmixed sample of the frame is from its time.
  double Distance(const QueuedMusicFrame& frame, int used, double elapsedMs, int64_t totalDelayMs) const;
  bool Continues(const QueuedMusicFrame& frame) const;

  const AVCodecContext* encoder_;
  QueuedMusicFrame current_;  // partly mixed
  int used_ = 0;
  bool flowing_ = false;   // the last frame was mixed whole
  double flowEndMs_ = 0;   // where it ended
};

}  // namespace capmill
