// The arithmetic of mixing music into microphone samples, per sample format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "MediaProbe.h"
#include "MusicFiles.h"
#include "Processes.h"
#include "capmill/capmill.h"
#include "src/MusicMixing.h"
#include "src/MusicSource.h"

using capmill::MixMusicSamples;

namespace {

class MusicMixing : public testing::Test {
 protected:
  void TearDown() override { qelSetMusicVolume(30); }
};

template <typename Sample>
std::vector<Sample> MixPacked(std::vector<Sample> mic, std::vector<Sample> music, int channels, AVSampleFormat format) {
  uint8_t* destination[] = {reinterpret_cast<uint8_t*>(mic.data())};
  uint8_t* source[] = {reinterpret_cast<uint8_t*>(music.data())};
  MixMusicSamples(destination, source, static_cast<int>(mic.size()) / channels, channels, format);
  return mic;
}

}  // namespace

TEST_F(MusicMixing, SixteenBitSumsAreClampedAndProductsTruncatedTowardZero) {
  qelSetMusicVolume(100);
  EXPECT_EQ(MixPacked<int16_t>({30000, -30000}, {20000, -20000}, 2, AV_SAMPLE_FMT_S16),
            (std::vector<int16_t>{32767, -32768}));
  qelSetMusicVolume(50);
  EXPECT_EQ(MixPacked<int16_t>({100, 100}, {3, -3}, 2, AV_SAMPLE_FMT_S16), (std::vector<int16_t>{101, 99}));
  // Any format other than the float ones is taken as 16-bit.
  EXPECT_EQ(MixPacked<int16_t>({100, 100}, {3, -3}, 1, AV_SAMPLE_FMT_S32), (std::vector<int16_t>{101, 99}));
}

TEST_F(MusicMixing, FloatSumsAreClamped) {
  qelSetMusicVolume(100);
  EXPECT_EQ(MixPacked<float>({0.75f, -0.75f, 0.25f, 0}, {0.5f, -0.5f, 0.25f, 0}, 2, AV_SAMPLE_FMT_FLT),
            (std::vector<float>{1.0f, -1.0f, 0.5f, 0}));
  EXPECT_EQ(MixPacked<double>({0.75, -0.75}, {0.5, -0.5}, 1, AV_SAMPLE_FMT_DBL), (std::vector<double>{1.0, -1.0}));
  qelSetMusicVolume(50);
  EXPECT_EQ(MixPacked<float>({0.25f}, {0.5f}, 1, AV_SAMPLE_FMT_FLT), (std::vector<float>{0.5f}));
}

TEST_F(MusicMixing, PlanarChannelsMixOneByOneAndAMissingPlaneIsSkipped) {
  qelSetMusicVolume(100);
  std::vector<float> left = {0.5f, 0.9f}, right = {0.1f, 0.2f};
  std::vector<float> musicLeft = {0.25f, 0.5f};
  uint8_t* destination[] = {reinterpret_cast<uint8_t*>(left.data()), reinterpret_cast<uint8_t*>(right.data())};
  uint8_t* source[] = {reinterpret_cast<uint8_t*>(musicLeft.data()), nullptr};
  MixMusicSamples(destination, source, 2, 2, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(left, (std::vector<float>{0.75f, 1.0f}));
  EXPECT_EQ(right, (std::vector<float>{0.1f, 0.2f}));  // no music plane: untouched

  std::vector<int16_t> first = {30000}, second = {5};
  std::vector<int16_t> musicFirst = {20000}, musicSecond = {-7};
  uint8_t* destination16[] = {reinterpret_cast<uint8_t*>(first.data()), reinterpret_cast<uint8_t*>(second.data())};
  uint8_t* source16[] = {reinterpret_cast<uint8_t*>(musicFirst.data()), reinterpret_cast<uint8_t*>(musicSecond.data())};
  MixMusicSamples(destination16, source16, 1, 2, AV_SAMPLE_FMT_S16P);
  EXPECT_EQ(first[0], 32767);
  EXPECT_EQ(second[0], -2);
}

TEST_F(MusicMixing, VolumeZeroLeavesTheMicrophoneAndTwoHundredFiftyActsAsAHundred) {
  qelSetMusicVolume(0);
  EXPECT_EQ(MixPacked<float>({0.3f, -0.3f}, {0.5f, 0.5f}, 2, AV_SAMPLE_FMT_FLT), (std::vector<float>{0.3f, -0.3f}));
  qelSetMusicVolume(-20);
  EXPECT_EQ(MixPacked<int16_t>({7}, {1000}, 1, AV_SAMPLE_FMT_S16), (std::vector<int16_t>{7}));
  qelSetMusicVolume(250);
  EXPECT_EQ(MixPacked<int16_t>({7}, {1000}, 1, AV_SAMPLE_FMT_S16), (std::vector<int16_t>{1007}));
}

// The music files the mixing tests play, measured by the tests' own tools.
TEST(MusicFiles, TwoTonesOfOneSecondEachAtTheirLevel) {
  if (!testsupport::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  testsupport::TempDir dir;
  for (const auto& [codec, rate] : std::vector<std::pair<std::string, int>>{{"mp3", 44100}, {"wav", 48000}, {"mp3", 22050}}) {
    const std::string path = dir / ("tones" + std::to_string(rate) + "." + codec);
    ASSERT_TRUE(testsupport::MakeTwoToneFile(path, codec, rate)) << path;
    const std::vector<float> sound = testsupport::DecodeAudio(path);
    ASSERT_GT(sound.size(), 80000u) << path;
    const std::vector<double> changes = testsupport::DominantToneChanges(sound, 44100, {1000, 1500}, 0.1);
    ASSERT_EQ(changes.size(), 1u) << path;
    EXPECT_NEAR(changes[0], 1.0, 0.05) << path;  // the encoder's own delay is a few ms
    const auto windows = testsupport::ToneAmplitudes(sound, 44100, {1000, 1500});
    // 0.5 s: 1000 Hz, within half a decibel (MP3 is lossy)
    EXPECT_NEAR(windows[50][0], 0.4, 0.025) << path;
    EXPECT_LT(windows[50][1], 0.02) << path;
    EXPECT_NEAR(windows[150][1], 0.4, 0.025) << path;  // 1.5 s: 1500 Hz
  }
}

namespace {

struct MixedMusic {
  std::vector<float> left;  // the first channel of everything mixed into silence
  int mostHeld = 0;         // the most samples held back between blocks
  int largestFrame = 0;     // the largest music frame, in output samples
};

// Mixes `seconds` of the file's music at full volume into silent 1024-sample
// blocks of the recording's format (44.1 kHz stereo float planes), as the
// microphone thread does.
MixedMusic MixIntoSilence(const std::string& path, double seconds) {
  MixedMusic result;
  capmill::MediaKind kind = capmill::kSharedFileAudio;
  capmill::MediaInput music(kind, "24");
  music.OpenFile(path);
  music.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  AVCodecContext* encoder = avcodec_alloc_context3(nullptr);
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = 44100;
  av_channel_layout_default(&encoder->ch_layout, 2);
  {
    capmill::MusicSource source(music, encoder);
    EXPECT_TRUE(source.ok());
    std::vector<float> left(1024), right(1024);
    for (int block = 0; block < seconds * 44100 / 1024; ++block) {
      std::fill(left.begin(), left.end(), 0.0f);
      std::fill(right.begin(), right.end(), 0.0f);
      uint8_t* planes[] = {reinterpret_cast<uint8_t*>(left.data()), reinterpret_cast<uint8_t*>(right.data())};
      source.MixInto(planes, 1024);
      result.left.insert(result.left.end(), left.begin(), left.end());
      result.mostHeld = std::max(result.mostHeld, source.HeldSamples());
    }
    result.largestFrame = source.largestFrame();
  }
  avcodec_free_context(&encoder);
  return result;
}

}  // namespace

// Every music sample is mixed once, in order, at its true speed, whatever
// the music's frame size and rate; what waits between blocks stays below
// one music frame.
TEST(MusicSource, TonesKeepTheirLengthAcrossBlocksAndLoops) {
  if (!testsupport::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  qelSetMusicVolume(100);
  testsupport::TempDir dir;
  for (const auto& [codec, rate] : std::vector<std::pair<std::string, int>>{{"mp3", 44100}, {"wav", 48000}, {"mp3", 22050}}) {
    const std::string path = dir / ("tones" + std::to_string(rate) + "." + codec);
    ASSERT_TRUE(testsupport::MakeTwoToneFile(path, codec, rate));
    const MixedMusic mixed = MixIntoSilence(path, 20);
    const std::vector<double> changes = testsupport::DominantToneChanges(mixed.left, 44100, {1000, 1500}, 0.1);
    ASSERT_GE(changes.size(), 18u) << path;
    const auto first = testsupport::ToneAmplitudes(mixed.left, 44100, {1000, 1500})[10];
    EXPECT_GT(first[0], first[1]) << path << ": the music starts with 1000 Hz";
    for (size_t i = 1; i < changes.size(); ++i)
      EXPECT_NEAR(changes[i] - changes[i - 1], 1.0, 0.05) << path << " segment " << i;
    EXPECT_NEAR((changes.back() - changes.front()) / (changes.size() - 1), 1.0, 0.01) << path;
    EXPECT_GT(mixed.largestFrame, 0);
    EXPECT_LE(mixed.largestFrame, 2 * 1152 + 64) << path;
    // The converter's own delay comes on top of the carried rest.
    EXPECT_LE(mixed.mostHeld, mixed.largestFrame + 64) << path;
  }
  qelSetMusicVolume(30);
}
