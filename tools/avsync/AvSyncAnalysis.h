// Finds the flashes and beeps of flash-beep in a recording and how far the
// sound of each event is from its picture.
#pragma once

#include <string>
#include <vector>

namespace avsync {

struct Event {
  double flashSeconds = 0;  // estimated flash instant on the file's timeline
  double beepSeconds = 0;   // beep onset on the file's timeline
  double OffsetMs() const { return (beepSeconds - flashSeconds) * 1000; }  // > 0: sound after picture
};

struct Analysis {
  std::string error;  // empty when the file could be read
  std::vector<double> flashes;
  std::vector<double> beeps;
  std::vector<Event> events;  // each flash with the beep nearest to it (within a second)
};

// Reads the file's first video and audio tracks. A flash is a frame much
// brighter than the one before; its instant is taken halfway between that
// frame and the one before (the screen turned white somewhere between the
// two grabs). A beep onset is where the 1000 Hz level first reaches half of
// the beep's level.
Analysis Analyze(const std::string& path);

// The mono samples of the file's first audio track at its own rate, with the
// time of the first one; for the drift measurements.
struct Sound {
  std::string error;
  int rate = 0;
  double startSeconds = 0;
  std::vector<float> samples;
};
Sound DecodeSound(const std::string& path);

// Level of frequencyHz in a window of `window` samples ending at each sample
// (0 before the first full window).
std::vector<float> ToneLevel(const std::vector<float>& samples, int rate, double frequencyHz, int window);

// Times (s from the first sample) where the tone's level rises through half
// of its highest level, each at least minGapSeconds after the previous one,
// corrected for the window's length.
std::vector<double> ToneOnsets(const std::vector<float>& samples, int rate, double frequencyHz, double minGapSeconds);

}  // namespace avsync
