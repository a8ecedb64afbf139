// Enumeration of capture devices on this platform.
#pragma once

#include <string>
#include <vector>

namespace capmill::platform {

struct AudioSource {
  std::string name;         // the server's name for the source
  std::string description;  // the friendly name users see
};

struct AudioSourceList {
  bool reachable = false;   // false when the audio server could not be asked at all
  std::vector<AudioSource> sources;  // capture sources, monitors excluded
  std::string defaultSourceName;
};

// Asks the audio server for its capture sources.
AudioSourceList QueryAudioSources();

struct CameraList {
  bool reachable = false;   // false when the camera nodes could not be looked at
  std::vector<std::string> names;
  std::vector<std::string> nodes;  // the device node of each name ("/dev/video0")
};

// Lists the video capture nodes and their card names.
CameraList QueryCameras();

}  // namespace capmill::platform
