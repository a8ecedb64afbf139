#include "MusicChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "MediaProbe.h"
#include "MusicFiles.h"

namespace testsupport {

const std::vector<double> kMicAndMusicTones = {440, 1000, 1500};

double Db(double ratio) { return 20 * std::log10(ratio); }

std::vector<float> SoundOf(const std::string& path) {
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
  const size_t from = static_cast<size_t>((first + 0.1) * 44100), to = sound.size() > 4410 ? sound.size() - 4410 : 0;
  return from < to ? std::vector<float>(sound.begin() + from, sound.begin() + to) : std::vector<float>();
}

void ExpectBothTonesEverywhere(const std::vector<float>& sound, double volume, bool presenceOnly) {
  const auto windows = ToneAmplitudes(sound, 44100, kMicAndMusicTones);
  ASSERT_GT(windows.size(), 100u);
  double micLevel = 0;
  for (const auto& window : windows) micLevel += window[0] / windows.size();
  int bad = 0, micDips = 0;
  for (size_t w = 0; w < windows.size(); ++w) {
    const double music = std::max(windows[w][1], windows[w][2]);
    // Where the tone's phase jumps the halves of a window can cancel: one
    // window's length of such dips is allowed at a pause.
    const bool micPresent = windows[w][0] > 0.25 * micLevel || (presenceOnly && ++micDips <= 6);
    const bool ok = presenceOnly ? micPresent && music > 0.5 * kMusicLevel * volume
                                 : std::abs(Db(windows[w][0] / micLevel)) < 1.5 &&
                                       std::abs(Db(music / (kMusicLevel * volume))) < 1.5;
    // A window across a change of tone holds half of each.
    const bool atChange = windows[w][1] > 0.1 * kMusicLevel * volume && windows[w][2] > 0.1 * kMusicLevel * volume;
    if (!ok && !atChange && bad++ < 5)
      ADD_FAILURE() << "window at " << w * 0.01 << " s: 440 Hz " << windows[w][0] << ", 1000 Hz " << windows[w][1]
                    << ", 1500 Hz " << windows[w][2];
  }
}

void ExpectOneSecondSegments(const std::vector<float>& sound, double volume) {
  const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.5 * kMusicLevel * volume);
  ASSERT_GE(changes.size(), 3u);
  for (size_t i = 1; i < changes.size(); ++i) EXPECT_NEAR(changes[i] - changes[i - 1], 1.0, 0.05) << "segment " << i;
  EXPECT_NEAR((changes.back() - changes.front()) / (changes.size() - 1), 1.0, 0.01);
}

}  // namespace testsupport
