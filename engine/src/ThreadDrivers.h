// Thread drivers: start the recording clocks and run the capture threads.
#pragma once

#include "src/MediaInput.h"

namespace capmill {

// Runs the screen thread and the audio thread (either may be null) and returns
// when both have ended. Clears the active clock before returning, since the
// clocks belong to inputs that are destroyed right after.
void VideoAudioThreadDriver(MediaInput* screen, MediaInput* audio);

// Runs the screen thread and the microphone thread with the music mixed in at
// volume (0..1). Without one of the three inputs it reports so and records
// the screen and the microphone alone (when both are given).
void VideoAudioWithMusicThreadDriver(MediaInput* screen, MediaInput* mic, MediaInput* music, double volume);
// The same with the music also heard on the default output; without all
// three inputs it does nothing.
void VideoAudioWithMusicAndPlaybackThreadDriver(MediaInput* screen, MediaInput* mic, MediaInput* music,
                                                double volume);

}  // namespace capmill
