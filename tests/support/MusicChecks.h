// Checks on recordings that carry the microphone's 440 Hz tone and the test
// music (1 s of 1000 Hz, 1 s of 1500 Hz at amplitude 0.4), window by window.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

constexpr double kMusicLevel = 0.4;  // of the test music files
extern const std::vector<double> kMicAndMusicTones;

double Db(double ratio);

// The decoded sound of a recording with two tracks (h264 and aac, decoding
// cleanly), from a tenth of a second after its sound begins to a tenth
// before its end.
std::vector<float> SoundOf(const std::string& path);

// Every window holds the microphone's tone, and the music tone at the level
// the volume asks for (within 1.5 dB). Across a pause the microphone's tone
// jumps in phase, which can cancel it in the windows that span the jump:
// there only presence is asked for, and a window's length of dips allowed
// (presenceOnly).
void ExpectBothTonesEverywhere(const std::vector<float>& sound, double volume, bool presenceOnly = false);

// The music alternates, one second per tone, each segment 1.00 +- 0.05 s.
void ExpectOneSecondSegments(const std::vector<float>& sound, double volume);

}  // namespace testsupport
