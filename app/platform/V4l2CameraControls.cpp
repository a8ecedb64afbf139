#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/CameraControls.h"
#include "platform/CameraNodes.h"

namespace orvex {
namespace {

class Node {
 public:
  explicit Node(const std::string& path, int flags = O_RDWR) : fd_(::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC)) {}
  ~Node() {
    if (fd_ >= 0) ::close(fd_);
  }
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

CameraControl::Kind KindOf(uint32_t type) {
  if (type == V4L2_CTRL_TYPE_BOOLEAN) return CameraControl::Kind::Boolean;
  if (type == V4L2_CTRL_TYPE_MENU || type == V4L2_CTRL_TYPE_INTEGER_MENU) return CameraControl::Kind::Menu;
  return CameraControl::Kind::Integer;
}

bool IsAdjustable(const v4l2_queryctrl& query) {
  if (query.flags & (V4L2_CTRL_FLAG_DISABLED | V4L2_CTRL_FLAG_READ_ONLY)) return false;
  return query.type == V4L2_CTRL_TYPE_INTEGER || query.type == V4L2_CTRL_TYPE_BOOLEAN ||
         query.type == V4L2_CTRL_TYPE_MENU || query.type == V4L2_CTRL_TYPE_INTEGER_MENU;
}

void ReadMenuItems(int fd, const v4l2_queryctrl& query, CameraControl& control) {
  for (int index = query.minimum; index <= query.maximum; ++index) {
    v4l2_querymenu item{};
    item.id = query.id;
    item.index = static_cast<uint32_t>(index);
    if (::ioctl(fd, VIDIOC_QUERYMENU, &item) != 0) continue;  // gaps are allowed
    control.items.emplace_back(index, query.type == V4L2_CTRL_TYPE_MENU
                                          ? std::string(reinterpret_cast<const char*>(item.name))
                                          : std::to_string(item.value));
  }
}

}  // namespace

std::optional<std::string> V4l2CameraControls::FindCamera(const std::string& name) { return FindCameraNode(name); }

CameraControlList V4l2CameraControls::ReadControls(const std::string& device) {
  CameraControlList list;
  Node node(device);
  if (node.fd() < 0) {
    list.status = CameraControlList::Status::CannotOpen;
    list.errorCode = static_cast<uint32_t>(errno);
    return list;
  }
  v4l2_queryctrl query{};
  query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
  while (::ioctl(node.fd(), VIDIOC_QUERYCTRL, &query) == 0) {
    if (IsAdjustable(query)) {
      CameraControl control;
      control.id = query.id;
      control.name = reinterpret_cast<const char*>(query.name);
      control.kind = KindOf(query.type);
      control.minimum = query.minimum;
      control.maximum = query.maximum;
      control.step = query.step > 0 ? query.step : 1;
      v4l2_control current{};
      current.id = query.id;
      control.value = ::ioctl(node.fd(), VIDIOC_G_CTRL, &current) == 0 ? current.value : query.default_value;
      if (control.kind == CameraControl::Kind::Menu) ReadMenuItems(node.fd(), query, control);
      list.controls.push_back(std::move(control));
    }
    query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
  }
  // EINVAL ends the walk; anything else means the camera could not be asked.
  if (errno != EINVAL && list.controls.empty()) {
    list.status = CameraControlList::Status::Failed;
    list.errorCode = static_cast<uint32_t>(errno);
  }
  return list;
}

bool V4l2CameraControls::SetControl(const std::string& device, uint32_t id, int value) {
  Node node(device);
  v4l2_control control{};
  control.id = id;
  control.value = value;
  return node.fd() >= 0 && ::ioctl(node.fd(), VIDIOC_S_CTRL, &control) == 0;
}

}  // namespace orvex
