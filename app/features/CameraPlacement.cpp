#include "features/CameraPlacement.h"

#include <strings.h>

#include <algorithm>

#include "core/MainWindowRules.h"
#include "platform/DebugChannel.h"

namespace orvex {

namespace {
constexpr int kMargin = 10;
}  // namespace

int CameraPlacementValue(const std::string& text) {
  for (int i = 0; i < 9; ++i)
    if (strcasecmp(text.c_str(), kCameraPlacements[i]) == 0) return i;
  return 0;
}

const char* CameraPlacementName(int placement) {
  return kCameraPlacements[placement >= 0 && placement < 9 ? placement : 0];
}

QRect CameraOverlayRect(int placement, int size, QSize screen) {
  const int w = screen.width(), h = screen.height(), s = size;
  const int right = w - s - kMargin, bottom = h - s - kMargin, midX = (w - s) / 2, midY = (h - s) / 2;
  static constexpr int kLeft = 0, kRight = 1, kMid = 2;
  // Column and row of each placement: left/right/middle, top/bottom/middle.
  static constexpr int kColumns[9] = {kLeft, kRight, kLeft, kRight, kMid, kMid, kLeft, kRight, kMid};
  static constexpr int kRows[9] = {kLeft, kLeft, kRight, kRight, kLeft, kRight, kMid, kMid, kMid};
  const int p = placement >= 0 && placement < 9 ? placement : 0;
  const int x = kColumns[p] == kLeft ? kMargin : kColumns[p] == kRight ? right : midX;
  const int y = kRows[p] == kLeft ? kMargin : kRows[p] == kRight ? bottom : midY;
  return QRect(x, y, s, s);
}

int DrawnCameraSize(int size, QSize screen) {
  const int largest = std::max(1, std::min(screen.width(), screen.height()));
  return std::clamp(size, 1, largest);
}

std::string CameraCardText(const std::string& cameraName, int size, int shape, int placement) {
  return Printf("\U0001F4F9 LIVE\n\n%s\n\n%dpx \u2022 %s \u2022 %s", cameraName.c_str(), size,
                shape == 1 ? "Square" : "Circle", CameraPlacementName(placement));
}

}  // namespace orvex

namespace orvex {

PreviewGeometry LayOutPreview(QSize client, int labelWidth) {
  const int w = client.width(), h = client.height();
  if (w <= 0 || h <= 0) return {};
  const int a = labelWidth > 0 ? labelWidth : 50;
  const int b = w <= 500 ? 350 : w <= 700 ? 400 : std::min(w - a - 30, 500);
  const int x = std::max((w - b) / 2, a + 20);
  return {QRect(x - a - 10, 10, a, 14), QRect(x, 8, b, 200), QRect(10, 40, w - 20, h - 50)};
}

}  // namespace orvex
