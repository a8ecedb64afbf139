#include "MusicFiles.h"

#include <algorithm>

#include "AvSyncAnalysis.h"
#include "Processes.h"

namespace testsupport {
namespace {

constexpr double kWindowSeconds = 0.05;
constexpr double kHopSeconds = 0.01;

}  // namespace

bool MakeTwoToneFile(const std::string& path, const std::string& codec, int sampleRate) {
  const std::string tone = "0.4*sin(2*PI*if(lt(t,1),1000*t,1500*t))";
  const std::string encoder = codec == "mp3"    ? "-c:a libmp3lame -b:a 192k"
                              : codec == "flac" ? "-c:a flac"
                                                : "-c:a pcm_s16le";
  const std::string command = "ffmpeg -v error -nostdin -y -f lavfi -i \"aevalsrc=exprs='" + tone + "|" + tone +
                              "':s=" + std::to_string(sampleRate) + ":d=2\" " + encoder + " \"" + path + "\"";
  return RunCommand(command) == 0;
}

std::vector<std::vector<double>> ToneAmplitudes(const std::vector<float>& samples, int sampleRate,
                                                const std::vector<double>& frequencies) {
  const int window = static_cast<int>(kWindowSeconds * sampleRate);
  const int hop = static_cast<int>(kHopSeconds * sampleRate);
  std::vector<std::vector<float>> levels;
  for (double frequency : frequencies) levels.push_back(avsync::ToneLevel(samples, sampleRate, frequency, window));
  std::vector<std::vector<double>> result;
  // The level at a sample covers the window that ends there.
  for (size_t end = window - 1; end < samples.size(); end += hop) {
    std::vector<double> amplitudes;
    for (const std::vector<float>& level : levels) amplitudes.push_back(level[end]);
    result.push_back(amplitudes);
  }
  return result;
}

std::vector<double> DominantToneChanges(const std::vector<float>& samples, int sampleRate,
                                        const std::vector<double>& frequencies, double minAmplitude) {
  const std::vector<std::vector<double>> windows = ToneAmplitudes(samples, sampleRate, frequencies);
  std::vector<double> changes;
  int last = -1;
  for (size_t w = 0; w < windows.size(); ++w) {
    const auto loudest = std::max_element(windows[w].begin(), windows[w].end());
    if (loudest == windows[w].end() || *loudest < minAmplitude) continue;
    const int index = static_cast<int>(loudest - windows[w].begin());
    if (last >= 0 && index != last) changes.push_back(w * kHopSeconds + kWindowSeconds / 2);
    last = index;
  }
  return changes;
}

}  // namespace testsupport
