// Music files for the mixing tests, and measurements of tones in sound.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Writes a two-segment stereo tone (1 s of 1000 Hz, then 1 s of 1500 Hz,
// amplitude 0.4) with the ffmpeg tool. codec: "mp3" (MPEG layer 3, 1152-sample
// frames), "flac" (4608-sample frames) or "wav" (16-bit PCM). Returns whether
// the file was made.
bool MakeTwoToneFile(const std::string& path, const std::string& codec, int sampleRate);

// The amplitude of each frequency in windows of 50 ms, one every 10 ms:
// result[w][f] for window w and frequency f. Window w covers samples
// [w * hop, w * hop + window).
std::vector<std::vector<double>> ToneAmplitudes(const std::vector<float>& samples, int sampleRate,
                                                const std::vector<double>& frequencies);

// Times (s, window middles) where the loudest of the frequencies changes,
// ignoring windows where none of them reaches minAmplitude.
std::vector<double> DominantToneChanges(const std::vector<float>& samples, int sampleRate,
                                        const std::vector<double>& frequencies, double minAmplitude);

}  // namespace testsupport
