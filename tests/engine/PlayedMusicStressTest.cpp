// Recordings with played music stopped at any moment: while the music
// pipeline starts, while its threads wait, in the middle of a block. Run
// under the sanitizers, which see any use of what a teardown freed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "MusicFiles.h"
#include "Processes.h"
#include "RecordingEnvironment.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

class PlayedMusicStressTest : public RecordingSuite<320, 240> {};

}  // namespace

TEST_F(PlayedMusicStressTest, StopsAtRandomMomentsLeaveNothingBehind) {
#ifndef __SANITIZE_ADDRESS__
  // Slow, and what it finds only the sanitizer sees: run once, in that build.
  GTEST_SKIP() << "run in the AddressSanitizer build";
#endif
  TempDir dir;
  const std::string music = dir / "tones.mp3", mic = RecordingEnvironment::MicInput();
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  qelsetFrameRate(10);
  qelSetVideoRes(320, 240);
  const int threadsBefore = ThreadCount();
  std::mt19937 random(20261210);
  std::uniform_int_distribution<int> moment(0, 1500);
  for (int round = 0; round < 20; ++round) {
    const std::string path = dir / ("stopped-" + std::to_string(round) + ".mp4");
    std::atomic<bool> returned{false};
    std::thread recording([&] {
      qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(path.c_str(), mic.c_str(), music.c_str(), 40);
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(moment(random)));
    // A stop that comes before the recording has set up is cleared by the
    // set-up: ask again until the call returns.
    EXPECT_TRUE(WaitUntil([&] {
      qelStopRecording();
      return returned.load();
    }, std::chrono::seconds(20))) << "round " << round;
    recording.join();
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, std::chrono::seconds(2)))
        << "round " << round << ": " << ThreadCount() << " threads, " << threadsBefore << " before";
  }
}
