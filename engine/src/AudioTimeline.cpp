#include "src/AudioTimeline.h"

#include <algorithm>
#include <cmath>

namespace capmill {
namespace {

// A device's first timestamps may still be settling (PulseAudio smooths its
// times and starts from a guess): the start is taken once the stamps agree
// with the sample count within this much over kSteadyMs of sound...
constexpr double kSteadyToleranceMs = 4;
constexpr double kSteadyMs = 500;
// ...or, at the latest, after this much sound has been held.
constexpr double kMaxHoldMs = 3000;
// Drift is corrected over about this time, and the error is smoothed over
// about a second so that the stamps' jitter does not wobble the speed.
constexpr double kCorrectionSeconds = 2;
constexpr double kSmoothingSeconds = 1;
// A jump this large is a change of the clock, not lost sound: follow it.
constexpr double kClockStepMs = 5000;

}  // namespace

AudioTimeline::AudioTimeline(int sampleRate, int64_t offsetMs) : rate_(sampleRate), offsetMs_(offsetMs) {}

AudioTimeline::Step AudioTimeline::Place(std::optional<double> captureMs, int samples, int64_t queued) {
  if (state_ == State::Waiting && !captureMs) state_ = State::Unstamped;
  if (state_ == State::Unstamped) return {};
  if (state_ != State::Placed) {
    if (!captureMs) {  // a lone block without a time during calibration: keep it
      heldSamples_ += samples;
      return Step{.hold = true};
    }
    return Calibrate(*captureMs, samples);
  }
  if (!captureMs) return Step{.compensationPerSecond = static_cast<int>(std::lround(
                                  std::clamp(error_ / kCorrectionSeconds, -kMaxSpeedChange * rate_, kMaxSpeedChange * rate_)))};

  const double msToSamples = rate_ / 1000.0;
  double error = (*captureMs + offsetMs_ + shiftMs_) * msToSamples - static_cast<double>(queued);
  Step step;
  if (std::abs(error) > kClockStepMs * msToSamples) {
    shiftMs_ -= error / msToSamples;
    error = 0;
    error_ = 0;
  } else if (error > kResyncMs * msToSamples) {
    step.silence = std::llround(error);
    error = 0;
    error_ = 0;
  } else if (error < -kResyncMs * msToSamples) {
    step.skip = static_cast<int>(std::min<double>(samples, std::llround(-error)));
    error += step.skip;
    error_ = 0;
  }
  const double weight = std::min(1.0, samples / (kSmoothingSeconds * rate_));
  error_ += weight * (error - error_);
  const double limit = kMaxSpeedChange * rate_;
  step.compensationPerSecond = static_cast<int>(std::lround(std::clamp(error_ / kCorrectionSeconds, -limit, limit)));
  return step;
}

AudioTimeline::Step AudioTimeline::Calibrate(double captureMs, int samples) {
  const double msPerSample = 1000.0 / rate_;
  // When the first held sample was captured, as this block tells it.
  const double estimate = captureMs - heldSamples_ * msPerSample;
  if (state_ == State::Waiting || std::abs(estimate - anchorMs_) > kSteadyToleranceMs) {
    anchorMs_ = estimate;
    steadySamples_ = 0;
  } else {
    steadySamples_ += samples;
  }
  state_ = State::Calibrating;
  latestMs_ = estimate;
  heldSamples_ += samples;
  if (steadySamples_ * msPerSample < kSteadyMs && heldSamples_ * msPerSample < kMaxHoldMs) return Step{.hold = true};
  return Settle();
}

AudioTimeline::Step AudioTimeline::Settle() {
  if (state_ != State::Calibrating) return {};
  const double msPerSample = 1000.0 / rate_;
  const double startMs = latestMs_;
  // Sound from before the recording started is dropped; the rest begins
  // where its capture time puts it.
  state_ = State::Placed;
  Step step;
  if (startMs < 0) step.dropHeld = std::min<int64_t>(heldSamples_, std::llround(-startMs / msPerSample));
  step.leadSilence = std::llround(std::max(0.0, startMs) / msPerSample);
  return step;
}

}  // namespace capmill
