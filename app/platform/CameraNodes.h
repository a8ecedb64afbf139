// The capture node of a camera, found by the camera's friendly name (the
// driver's card name) without regard to case: the first node that matches.
#pragma once

#include <optional>
#include <string>

namespace orvex {

std::optional<std::string> FindCameraNode(const std::string& name);

}  // namespace orvex
