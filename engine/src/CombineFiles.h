// Combines a video-only file and an audio-only file into one MP4 by copying
// their packets, without decoding.
#pragma once

#include <string>

namespace capmill {

// Returns 1 once the combined file is complete at outputPath, else 0. The
// file is written under a hidden name beside outputPath and renamed over it
// only when every packet and the trailer were written: a failure leaves
// whatever was at outputPath untouched. Reports on the debug channel.
int CombineSeparateFiles(const char* videoPath, const char* audioPath, const char* outputPath);

}  // namespace capmill
