// Where the design's capture devices live on this platform: "gdigrab" on
// "desktop" and "dshow" on "audio=NAME".
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace capmill::platform {

struct DeviceInput {
  std::string format;  // the library's input format name
  std::string url;     // the input to open with it
  std::vector<std::pair<std::string, std::string>> options;  // device options of this platform
};

// Maps a design device onto this platform's device. Unknown format names map
// to themselves, so the lookup fails with the design's message.
DeviceInput MapCaptureDevice(const std::string& formatName, const std::string& inputName);

}  // namespace capmill::platform
