#include "platform/CameraNodes.h"

#include <strings.h>

// The engine's own scan of the capture nodes, built into the application too.
#include "platform/DeviceLists.h"

namespace orvex {

std::optional<std::string> FindCameraNode(const std::string& name) {
  const capmill::platform::CameraList cameras = capmill::platform::QueryCameras();
  for (size_t i = 0; i < cameras.names.size() && i < cameras.nodes.size(); ++i)
    if (strcasecmp(cameras.names[i].c_str(), name.c_str()) == 0) return cameras.nodes[i];
  return std::nullopt;
}

}  // namespace orvex
