#include "src/SeparatePaths.h"

#include <sys/stat.h>

#include "platform/Log.h"

namespace capmill {

SeparatePaths GenerateSeparatePaths(const std::string& requested) {
  const size_t slash = requested.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : requested.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? requested : requested.substr(slash + 1);
  const size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  SeparatePaths paths;
  paths.folder = directory + "AudioAndVideo";
  paths.video = paths.folder + "/" + stem + "_video.mp4";
  paths.audio = paths.folder + "/" + stem + "_audio.m4a";
  ::mkdir(paths.folder.c_str(), 0755);
  log::Debug(log::Format(2048, "Generated separate file paths: video=%s, audio=%s\n", paths.video.c_str(),
                         paths.audio.c_str()));
  return paths;
}

}  // namespace capmill
