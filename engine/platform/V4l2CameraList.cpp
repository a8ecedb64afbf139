// Video capture nodes: /dev/video* that can capture video. The application
// builds this file too, to find a camera's node by its name.
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/DeviceLists.h"

namespace capmill::platform {

CameraList QueryCameras() {
  CameraList list;
  DIR* dir = ::opendir("/dev");
  if (!dir) return list;
  list.reachable = true;
  std::vector<std::string> nodes;
  while (const dirent* entry = ::readdir(dir))
    if (std::strncmp(entry->d_name, "video", 5) == 0) nodes.push_back(std::string("/dev/") + entry->d_name);
  ::closedir(dir);
  std::sort(nodes.begin(), nodes.end());

  for (const std::string& node : nodes) {
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    v4l2_capability caps{};
    if (::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0) {
      const uint32_t effective = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
      if (effective & V4L2_CAP_VIDEO_CAPTURE) {
        list.names.emplace_back(reinterpret_cast<const char*>(caps.card));
        list.nodes.push_back(node);
      }
    }
    ::close(fd);
  }
  return list;
}

}  // namespace capmill::platform
