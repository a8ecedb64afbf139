// Settings, pause, resume and the timing reset of the engine state.
#include <gtest/gtest.h>

#include <thread>

#include "LogCapture.h"
#include "capmill/capmill.h"
#include "src/EngineState.h"

using namespace capmill;
using testsupport::LogCapture;

namespace {

class EngineStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRecordingTiming();
    qelSetAudioDelay(500);
  }
  RecordingClock clock_;
  void Activate() {
    clock_ = RecordingClock{NowTicks(), 0, 0, false};
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().activeClock = &clock_;
  }
  void TearDown() override { ResetRecordingTiming(); }
};

TEST_F(EngineStateTest, SettingsAreStoredAsGivenWithoutValidation) {
  EXPECT_EQ(Engine().frameRateText, "10");
  EXPECT_EQ(Engine().crfText, "30");
  qelsetFrameRate(-5);
  EXPECT_EQ(Engine().frameRateText, "-5");
  qelSetCrf(0);
  EXPECT_EQ(Engine().crfText, "0");
  qelsetFrameRate(10);
  qelSetCrf(30);
  qelSetVideoRes(1920, 1080);
  EXPECT_EQ(Engine().outputWidth, 1920);
  EXPECT_EQ(Engine().outputHeight, 1080);
  qelSetVideoRes(640, 480);
  qelSetStreamingErrorCallback(reinterpret_cast<void*>(&qelStopRecording));  // accepted and ignored
}

TEST_F(EngineStateTest, MusicVolumeIsClampedPercent) {
  auto volume = [] {
    std::lock_guard<std::mutex> hold(Engine().lock);
    return Engine().musicVolume;
  };
  EXPECT_DOUBLE_EQ(volume(), 0.3);
  qelSetMusicVolume(150);
  EXPECT_DOUBLE_EQ(volume(), 1.0);
  qelSetMusicVolume(-10);
  EXPECT_DOUBLE_EQ(volume(), 0.0);
  qelSetMusicVolume(30);
  EXPECT_DOUBLE_EQ(volume(), 0.3);
}

TEST_F(EngineStateTest, PauseKeepsFirstStartAndResumeAddsWholeMilliseconds) {
  Activate();
  qelPauseRecording();
  const int64_t firstPause = clock_.pauseStart;
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  qelPauseRecording();  // a second pause keeps the first start
  EXPECT_EQ(clock_.pauseStart, firstPause);
  EXPECT_TRUE(qelIsRecordingPaused());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  qelResumeRecording();
  EXPECT_FALSE(qelIsRecordingPaused());
  EXPECT_FALSE(clock_.isPaused);
  EXPECT_GE(clock_.pausedTotalMs, 120);
  EXPECT_LT(clock_.pausedTotalMs, 400);

  const int64_t total = clock_.pausedTotalMs;
  qelResumeRecording();  // resume without pause: total unchanged
  EXPECT_EQ(clock_.pausedTotalMs, total);
  EXPECT_FALSE(qelIsRecordingPaused());
}

TEST_F(EngineStateTest, ResetClearsClockPauseAndReArmsDelay) {
  Activate();
  qelPauseRecording();
  qelSetAudioDelay(250);
  Engine().audioDelayCurrentMs = 999;  // as if changed mid-recording
  EXPECT_EQ(qelGetGlobalTimer(), &clock_);
  LogCapture logs;
  ResetRecordingTiming();
  EXPECT_EQ(qelGetGlobalTimer(), nullptr);
  EXPECT_FALSE(qelIsRecordingPaused());
  EXPECT_EQ(Engine().audioDelayCurrentMs, 250);
  const std::string line =
      "Timing reset for new recording: Global timer cleared, audio delay reset to 250ms, paused state cleared\n";
  EXPECT_EQ(logs.Err(), line);
  EXPECT_EQ(logs.Debug(), line);
}

TEST_F(EngineStateTest, PauseAndResumeWithoutClockOnlyMoveTheFlag) {
  EXPECT_EQ(qelGetGlobalTimer(), nullptr);
  qelPauseRecording();
  EXPECT_TRUE(qelIsRecordingPaused());
  qelResumeRecording();
  EXPECT_FALSE(qelIsRecordingPaused());
}

}  // namespace
