// Where captured sound lands in the track: the device's late start, its
// settling timestamps, sound from before the start, lost sound and drift.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "src/AudioTimeline.h"

using capmill::AudioTimeline;

namespace {

constexpr int kRate = 44100;
constexpr int kOffsetMs = 500;
constexpr int kBlock = 1024;

// A device delivering blocks of kBlock samples, its first sample captured at
// startMs on the recording clock, its clock `ppm` fast, its stamps off by
// up to jitterMs; and the track it feeds, with the timeline's steps applied
// as the audio thread applies them (held sound and speed changes included).
class Simulation {
 public:
  Simulation(double startMs, double ppm, double jitterMs = 0) : startMs_(startMs), ppm_(ppm), jitterMs_(jitterMs) {}

  // Captures the next block; stampErrorMs is added to its stamp.
  AudioTimeline::Step Next(double stampErrorMs = 0, bool stamped = true) {
    const double captured = TrueTimeMs(deviceSamples_);
    const double stamp = captured + stampErrorMs + (jitterMs_ > 0 ? jitter_(random_) : 0);
    const AudioTimeline::Step step =
        timeline_.Place(stamped ? std::optional<double>(stamp) : std::nullopt, kBlock, static_cast<int64_t>(queued_));
    Apply(step);
    deviceSamples_ += kBlock;
    lastCapturedMs_ = captured;
    return step;
  }
  void Apply(const AudioTimeline::Step& step) {
    queued_ -= std::min<double>(step.dropHeld, queued_);
    queued_ += step.leadSilence + step.silence;
    silence_ += step.leadSilence + step.silence;
    compensation_ = step.compensationPerSecond;
    maxCompensation_ = std::max(maxCompensation_, std::abs(compensation_));
    const int kept = kBlock - step.skip - static_cast<int>(std::max<int64_t>(0, step.dropHeld - held_));
    held_ = step.hold ? held_ + kBlock : 0;
    queued_ += std::max(0, kept) * (1 + static_cast<double>(compensation_) / kRate);
  }
  // The sound captured at time t belongs at (t + offset) in the track.
  double ErrorMs() const {
    const double nextMs = TrueTimeMs(deviceSamples_);
    return (nextMs + kOffsetMs) - queued_ * 1000.0 / kRate;
  }
  double TrueTimeMs(int64_t deviceSample) const { return startMs_ + deviceSample * 1000.0 / (kRate * (1 + ppm_ * 1e-6)); }
  double SecondsRun() const { return (TrueTimeMs(deviceSamples_) - startMs_) / 1000; }

  AudioTimeline timeline_{kRate, kOffsetMs};
  double queued_ = static_cast<double>(timeline_.FirstSample());
  int64_t silence_ = 0;
  int maxCompensation_ = 0;

 private:
  double startMs_, ppm_, jitterMs_;
  std::mt19937 random_{7};
  std::uniform_real_distribution<double> jitter_{-jitterMs_, jitterMs_};
  int64_t deviceSamples_ = 0;
  int64_t held_ = 0;
  int compensation_ = 0;
  double lastCapturedMs_ = 0;
};

}  // namespace

TEST(AudioTimeline, BlocksWithoutTimesFollowEachOtherUnchanged) {
  Simulation device(0, 0);
  for (int i = 0; i < 100; ++i) {
    const AudioTimeline::Step step = device.Next(0, false);
    EXPECT_FALSE(step.hold);
    EXPECT_EQ(step.leadSilence + step.silence + step.skip + step.compensationPerSecond, 0);
  }
}

TEST(AudioTimeline, ALateDeviceStartsWhereItsFirstSoundBelongs) {
  // The device's first sound was captured 1.8 s after the recording began.
  Simulation device(1800, 0);
  int held = 0;
  while (device.Next().hold) ++held;
  EXPECT_GE(held * kBlock, kRate / 2);  // half a second of steady stamps first
  EXPECT_LT(held * kBlock, kRate);
  EXPECT_NEAR(device.silence_, 1800 * kRate / 1000, 2);
  EXPECT_NEAR(device.ErrorMs(), 0, 0.5);
}

TEST(AudioTimeline, SettlingStampsAreWaitedOut) {
  // Like PulseAudio's smoothed times: the first stamps are 470 ms early and
  // converge over a second.
  Simulation device(40, 0);
  int blocks = 0;
  for (;; ++blocks) {
    const double early = blocks < 50 ? -470.0 * (50 - blocks) / 50 : 0;
    if (!device.Next(early).hold) break;
  }
  EXPECT_LT(blocks * kBlock, 3 * kRate);
  EXPECT_NEAR(device.ErrorMs(), 0, 4.5);
}

TEST(AudioTimeline, SoundFromBeforeTheStartIsDropped) {
  // A device handing over 300 ms it buffered before the recording began.
  Simulation device(-300, 0);
  while (device.Next().hold) {
  }
  EXPECT_NEAR(device.silence_, 0, 2);
  EXPECT_NEAR(device.ErrorMs(), 0, 0.5);
}

TEST(AudioTimeline, LostSoundIsFilledAndRepeatedSoundSkipped) {
  Simulation device(0, 0);
  while (device.Next().hold) {
  }
  const int64_t silenceBefore = device.silence_;
  // The device loses 300 ms: its next block's stamp is 300 ms later than the
  // samples say.
  AudioTimeline::Step step = device.Next(300);
  EXPECT_NEAR(step.silence, 300 * kRate / 1000, kRate / 1000);
  EXPECT_EQ(device.silence_ - silenceBefore, step.silence);
  // From then on the stamps keep that distance from the sample count.
  for (int i = 0; i < 20; ++i) {
    step = device.Next(300);
    EXPECT_EQ(step.silence + step.skip, 0);
  }
  // A block stamped 250 ms early carries sound the track already has.
  Simulation again(0, 0);
  while (again.Next().hold) {
  }
  step = again.Next(-250);
  EXPECT_EQ(step.skip, kBlock);
}

TEST(AudioTimeline, AClockStepIsFollowedNotFilled) {
  Simulation device(0, 0);
  while (device.Next().hold) {
  }
  const int64_t silence = device.silence_;
  const AudioTimeline::Step step = device.Next(3600 * 1000.0);
  EXPECT_EQ(step.silence, 0);
  EXPECT_EQ(device.silence_, silence);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(device.Next(3600 * 1000.0).silence, 0);
}

// A sound card 500 ppm fast or slow, with jittering stamps, over two
// minutes: the track stays within 10 ms of the clock, by small changes of
// speed only.
class AudioTimelineDrift : public testing::TestWithParam<double> {};

TEST_P(AudioTimelineDrift, StaysWithinTenMilliseconds) {
  Simulation device(60, GetParam(), 3);
  while (device.Next().hold) {
  }
  const int64_t silence = device.silence_;
  double worst = 0;
  while (device.SecondsRun() < 120) {
    const AudioTimeline::Step step = device.Next();
    EXPECT_EQ(step.silence + step.skip, 0);
    worst = std::max(worst, std::abs(device.ErrorMs()));
  }
  EXPECT_LT(worst, 10);
  EXPECT_EQ(device.silence_, silence);
  EXPECT_LE(device.maxCompensation_, std::lround(AudioTimeline::kMaxSpeedChange * kRate));
}

INSTANTIATE_TEST_SUITE_P(Clocks, AudioTimelineDrift, testing::Values(500.0, -500.0, 23.0));
