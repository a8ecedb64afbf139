// Where captured sound belongs on the recording's timeline.
//
// The audio track is timed by counting samples, but the device's clock is not
// the recording clock: it starts when the device first delivers, and a sound
// card runs tens of parts per million fast or slow. Each block the device
// hands over carries its capture time; the timeline compares it with the
// block's place in the track and says how to keep the two together: silence
// for sound that never came, dropped samples for sound from before the start,
// and a small, inaudible change of speed for drift.
#pragma once

#include <cstdint>
#include <optional>

namespace capmill {

class AudioTimeline {
 public:
  // offsetMs: where sound captured at the recording clock's start belongs in
  // the track.
  AudioTimeline(int sampleRate, int64_t offsetMs);

  struct Step {
    bool hold = false;             // still finding the device's start: keep, do not encode
    int64_t leadSilence = 0;       // once, ahead of everything held so far (after FirstSample)
    int64_t dropHeld = 0;          // once, from the head of what was held
    int64_t silence = 0;           // ahead of this block: sound that never came
    int skip = 0;                  // from the start of this block: sound already covered
    int compensationPerSecond = 0; // samples to add (+) or take (-) per second of sound
  };

  // A block of `samples` samples whose first one was captured at captureMs on
  // the recording clock (pauses taken out), or nullopt when the device gave
  // no time. queued: samples placed in the track so far (held ones included).
  Step Place(std::optional<double> captureMs, int samples, int64_t queued);

  // Ends the search for the device's start with what is known (the
  // recording ends while it is still held).
  Step Settle();

  // Where the track begins, in samples: the place of sound captured at the
  // clock's start, as the picture's first frame. The track's count starts
  // here, not at 0 with a block of silence: a file of its own then spans the
  // same time as the picture, and a player waits with either track alike.
  int64_t FirstSample() const { return offsetMs_ * rate_ / 1000; }

  // How far the track is behind the clock (positive) or ahead, in samples,
  // smoothed; for reports and tests.
  double error() const { return error_; }

  // Beyond this the track is put right at once instead of by speed.
  static constexpr double kResyncMs = 100;
  // The largest change of speed: 0.1 %, below what a listener hears.
  static constexpr double kMaxSpeedChange = 0.001;

 private:
  Step Calibrate(double captureMs, int samples);

  int rate_;
  int64_t offsetMs_;
  enum class State { Waiting, Calibrating, Placed, Unstamped } state_ = State::Waiting;
  // Calibration: capture time of the first held sample as each block sees it.
  double anchorMs_ = 0;  // the estimate a steady run began with
  double latestMs_ = 0;
  int64_t heldSamples_ = 0;
  int64_t steadySamples_ = 0;
  double error_ = 0;    // smoothed, in samples
  double shiftMs_ = 0;  // followed steps of the device's clock
};

}  // namespace capmill
