#include "src/ReadyListMixer.h"

#include <algorithm>
#include <cstdlib>

#include "platform/Log.h"
#include "src/MusicMixing.h"

namespace capmill {

double ReadyListMixer::Distance(const QueuedMusicFrame& frame, int used, double elapsedMs,
                                int64_t totalDelayMs) const {
  return frame.timestamp + used * 1000.0 / std::max(1, encoder_->sample_rate) - (elapsedMs - totalDelayMs);
}

bool ReadyListMixer::Continues(const QueuedMusicFrame& frame) const {
  return flowing_ && std::abs(frame.timestamp - flowEndMs_) <= kContinuityMs;
}

void ReadyListMixer::MixInto(MixingContext& mixing, uint8_t** block, int count, int64_t elapsedMs) {
  const int channels = encoder_->ch_layout.nb_channels;
  const AVSampleFormat format = encoder_->sample_fmt;
  const int rate = std::max(1, encoder_->sample_rate);
  int mixed = 0;
  while (count - mixed >= 1) {
    const double now = elapsedMs + mixed * 1000.0 / rate;
    double early = 0;  // how long before its time the next music is
    if (!current_.frame) {
      std::optional<QueuedMusicFrame> taken = mixing.readyList.TakeFrontWhere([&](const QueuedMusicFrame& queued) {
        const double distance = Distance(queued, 0, now, mixing.totalDelayMs);
        if (distance < -kStaleMs) return MusicFrameQueue::Verdict::Drop;
        // Music that runs on from the last frame keeps running: the window's
        // edge is where it started, and the capture times jitter about it.
        const double limit = Continues(queued) ? kEarlyMs + kFlowSlackMs : kEarlyMs;
        if (distance <= limit) return MusicFrameQueue::Verdict::Take;
        early = distance - kEarlyMs;
        return MusicFrameQueue::Verdict::Leave;
      });
      if (taken) {
        current_ = std::move(*taken);
        used_ = 0;
      } else {
        flowing_ = false;
        // The music's time comes later in this block (a device that hands
        // over long blocks): mix from there.
        const int wait = static_cast<int>(early * rate / 1000) + 1;
        if (early <= 0 || mixed + wait >= count) return;
        mixed += wait;
        continue;
      }
    } else if (Distance(current_, used_, now, mixing.totalDelayMs) < -kStaleMs) {
      current_ = {};
      flowing_ = false;
      continue;
    }
    AVFrame* music = current_.frame.get();
    const int n = std::min(count - mixed, music->nb_samples - used_);
    if (mixed < 0 || n < 1 || mixed + n > count) {
      log::Debug(log::Format(256, "ERROR: Invalid mixing parameters - music_samples_mixed=%d, samples_to_mix=%d, "
                                  "mic_samples=%d\n",
                             mixed, n, count));
      current_ = {};
      flowing_ = false;
      return;
    }
    uint8_t* destination[AV_NUM_DATA_POINTERS];
    uint8_t* source[AV_NUM_DATA_POINTERS];
    OffsetPlanes(block, mixed, channels, format, destination);
    OffsetPlanes(music->extended_data, used_, channels, format, source);
    // A frame lacking a plane is dropped unmixed.
    const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
    if (std::any_of(source, source + std::min(planes, AV_NUM_DATA_POINTERS), [](uint8_t* plane) { return !plane; })) {
      current_ = {};
      continue;
    }
    MixMusicSamples(destination, source, n, channels, format);
    mixed += n;
    used_ += n;
    if (used_ >= music->nb_samples) {
      flowing_ = true;
      flowEndMs_ = current_.timestamp + music->nb_samples * 1000.0 / rate;
      current_ = {};
    }
  }
}

}  // namespace capmill
