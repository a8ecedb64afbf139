// Recordings with background music through libcapmill.so, on the virtual
// desktop and microphone, measured window by window.
#include <gtest/gtest.h>

#include <cmath>

#include "MediaProbe.h"
#include "MusicFiles.h"
#include "RecordingEnvironment.h"
#include "StdStreamCapture.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

constexpr double kMusicLevel = 0.4;  // of the test music files
const std::vector<double> kTones = {440, 1000, 1500};

double Db(double ratio) { return 20 * std::log10(ratio); }

class MusicRecordingTest : public RecordingSuite<640, 480> {
 protected:
  void SetUp() override {
    RecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qelsetFrameRate(10);
    qelSetVideoRes(640, 480);
  }
  void TearDown() override { qelSetMusicVolume(30); }

  // Records `seconds` with the music at percent; returns the decoded sound
  // from its first sound on.
  std::vector<float> RecordWithMusic(const std::string& path, const std::string& music, int percent, double seconds) {
    const std::string mic = RecordingEnvironment::MicInput();
    EXPECT_TRUE(RecordFor([&] { qelRecordScreenWithAudioAndMusic(path.c_str(), mic.c_str(), music.c_str(), percent); },
                          seconds)
                    .started);
    const ProbedFile file = ProbeFile(path);
    EXPECT_TRUE(file.ok);
    if (file.streams.size() == 2) {
      EXPECT_EQ(file.streams[0].codec, "h264");
      EXPECT_EQ(file.streams[1].codec, "aac");
    } else {
      ADD_FAILURE() << file.streams.size() << " tracks";
    }
    EXPECT_EQ(DecodeErrors(path), "");
    std::vector<float> sound = DecodeAudio(path);
    const double first = FirstSoundSeconds(sound);
    EXPECT_GE(first, 0);
    // From a tenth of a second after the sound begins, to a tenth before the end.
    const size_t from = static_cast<size_t>((first + 0.1) * 44100), to = sound.size() - 4410;
    return from < to ? std::vector<float>(sound.begin() + from, sound.begin() + to) : std::vector<float>();
  }

  // Every window holds the microphone's tone, and the music tone at the level
  // the volume asks for.
  void ExpectBothTonesEverywhere(const std::vector<float>& sound, double volume) {
    const auto windows = ToneAmplitudes(sound, 44100, kTones);
    ASSERT_GT(windows.size(), 100u);
    double micLevel = 0;
    for (const auto& window : windows) micLevel += window[0] / windows.size();
    int bad = 0;
    for (size_t w = 0; w < windows.size(); ++w) {
      const double music = std::max(windows[w][1], windows[w][2]);
      const bool ok = std::abs(Db(windows[w][0] / micLevel)) < 1.5 &&
                      std::abs(Db(music / (kMusicLevel * volume))) < 1.5;
      // A window across a change of tone holds half of each.
      const bool atChange = windows[w][1] > 0.1 * kMusicLevel * volume && windows[w][2] > 0.1 * kMusicLevel * volume;
      if (!ok && !atChange && bad++ < 5)
        ADD_FAILURE() << "window at " << w * 0.01 << " s: 440 Hz " << windows[w][0] << ", 1000 Hz " << windows[w][1]
                      << ", 1500 Hz " << windows[w][2];
    }
  }

  // The music alternates, one second per tone.
  void ExpectOneSecondSegments(const std::vector<float>& sound, double volume) {
    const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.5 * kMusicLevel * volume);
    ASSERT_GE(changes.size(), 3u);
    for (size_t i = 1; i < changes.size(); ++i) EXPECT_NEAR(changes[i] - changes[i - 1], 1.0, 0.05) << "segment " << i;
    EXPECT_NEAR((changes.back() - changes.front()) / (changes.size() - 1), 1.0, 0.01);
  }

  TempDir dir_;
};

}  // namespace

TEST_F(MusicRecordingTest, MusicIsMixedAtItsVolumeAndSpeed) {
  for (const auto& [codec, rate] : std::vector<std::pair<std::string, int>>{{"mp3", 44100}, {"wav", 48000}}) {
    const std::string music = dir_ / ("tones." + codec);
    ASSERT_TRUE(MakeTwoToneFile(music, codec, rate));
    const std::vector<float> sound = RecordWithMusic(dir_ / ("music-" + codec + ".mp4"), music, 50, 6);
    ExpectBothTonesEverywhere(sound, 0.5);
    ExpectOneSecondSegments(sound, 0.5);
  }
}

TEST_F(MusicRecordingTest, VolumeZeroLeavesTheMicrophoneAlone) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  const std::vector<float> sound = RecordWithMusic(dir_ / "silent-music.mp4", music, 0, 3);
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 100u);
  for (const auto& window : windows) {
    EXPECT_LT(Db(std::max(window[1], window[2]) / window[0]), -50);
    if (HasFailure()) break;
  }
}

TEST_F(MusicRecordingTest, AMissingMusicFileStillGivesARecording) {
  const std::string missing = dir_ / "no-such-music.mp3";
  StdStreamCapture streams;
  const std::vector<float> sound = RecordWithMusic(dir_ / "no-music.mp4", missing, 50, 3);
  EXPECT_NE(streams.Out().find("Error in RecAudioVideoWithMusic: Unable to find media format :" + missing + "\n"),
            std::string::npos);
  EXPECT_GT(ToneShare(sound, 440), 0.8);
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 100u);
  EXPECT_LT(Db(std::max(windows[100][1], windows[100][2]) / windows[100][0]), -50);
}
