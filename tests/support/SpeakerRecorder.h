// What the default playback sink of the private PulseAudio server plays.
#pragma once

#include <functional>
#include <optional>
#include <vector>

namespace testsupport {

// Records the "spk" sink's monitor with the ffmpeg tool while `play` runs
// (and a moment after), stopped by process id; the first channel at
// 44100 Hz, or nothing when the recorder did not finish.
std::optional<std::vector<float>> RecordSpeakerWhile(const std::function<void()>& play);

}  // namespace testsupport
