// Where a separate-file recording keeps its two files: a folder
// "AudioAndVideo" beside the requested output, holding <stem>_video.mp4 and
// <stem>_audio.m4a.
#pragma once

#include <string>

namespace capmill {

struct SeparatePaths {
  std::string folder;
  std::string video;
  std::string audio;
};

// The paths for the requested output path; "/" separates folders (a
// backslash is an ordinary character of a name here). The stem is the file
// name up to its last dot. Also creates the folder; a failure shows when the
// files are opened.
SeparatePaths GenerateSeparatePaths(const std::string& requested);

}  // namespace capmill
