// Standalone music playback on the default output.
#pragma once

namespace capmill {

// Plays the music file, looping, on a stream of its own until keepRunning
// returns false; waits for a recording to start (at most 10 s) and pauses
// with it. volumePercent scales the samples (above 100 amplifies, clipped).
void PlayMusicToDefaultDevice(const char* path, int volumePercent, bool (*keepRunning)(void*), void* context);

}  // namespace capmill
