// A camera's adjustable controls (brightness, focus, ...): found by the
// camera's friendly name, read and changed one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

struct CameraControl {
  enum class Kind { Integer, Boolean, Menu };
  uint32_t id = 0;
  std::string name;
  Kind kind = Kind::Integer;
  int minimum = 0, maximum = 0, step = 1, value = 0;
  std::vector<std::pair<int, std::string>> items;  // Menu: value and caption
};

struct CameraControlList {
  enum class Status { Ok, CannotOpen, Failed };
  Status status = Status::Ok;
  uint32_t errorCode = 0;  // the system error, for Failed
  std::vector<CameraControl> controls;
};

class CameraControls {
 public:
  virtual ~CameraControls() = default;
  // The device of the camera whose friendly name equals name (ignoring case).
  virtual std::optional<std::string> FindCamera(const std::string& name) = 0;
  virtual CameraControlList ReadControls(const std::string& device) = 0;
  // Applies one value at once; false when the camera refused it.
  virtual bool SetControl(const std::string& device, uint32_t id, int value) = 0;
};

// V4L2 capture nodes /dev/video*, named by their card name.
class V4l2CameraControls : public CameraControls {
 public:
  std::optional<std::string> FindCamera(const std::string& name) override;
  CameraControlList ReadControls(const std::string& device) override;
  bool SetControl(const std::string& device, uint32_t id, int value) override;
};

}  // namespace orvex
