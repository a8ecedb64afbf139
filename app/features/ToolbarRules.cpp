#include "features/ToolbarRules.h"

namespace orvex {

QRect ToolbarRect(int screenWidth, int screenHeight) {
  // Integer division rounds toward zero, as the placement asks.
  return QRect(screenWidth - 100, (screenHeight - kToolbarHeight) / 2, kToolbarWidth, kToolbarHeight);
}

QRect ToolbarButtonRect(ToolbarButton button) {
  return QRect(10, 10 + 70 * static_cast<int>(button), kToolbarButtonSize, kToolbarButtonSize);
}

ToolbarButtonStates ToolbarStates(bool recording, bool paused) {
  if (!recording) return {ToolbarPicture::Start, "Start Recording", ToolbarPicture::Pause, "Pause Recording", false};
  if (!paused) return {ToolbarPicture::Stop, "Stop Recording", ToolbarPicture::Pause, "Pause Recording", true};
  return {ToolbarPicture::Stop, "Stop Recording", ToolbarPicture::Resume, "Resume Recording", true};
}

}  // namespace orvex
