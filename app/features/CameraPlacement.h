// Where the camera overlay stands and what its text card says: plain rules.
#pragma once

#include <QRect>
#include <QSize>
#include <string>

namespace orvex {

// The placement list's text as its value 0-8, compared without regard to
// case with the nine names; any other text is 0 ("Top Left").
int CameraPlacementValue(const std::string& text);
// The placement's name; "Top Left" for a value out of range.
const char* CameraPlacementName(int placement);
// The overlay's rectangle on a screen of the given size, 10 pixels from the
// edges; divisions round toward zero; a value out of range is placed as 0.
QRect CameraOverlayRect(int placement, int size, QSize screen);
// The size the overlay is drawn at: the setting, kept between 1 and the
// screen's smaller side (a size of 0 or of thousands stays as stored).
int DrawnCameraSize(int size, QSize screen);
// The text card shown while there is no picture.
std::string CameraCardText(const std::string& cameraName, int size, int shape, int placement);

}  // namespace orvex

namespace orvex {

// The camera preview's parts in a client area: the "Camera:" label, the
// camera list (its drop-down 200 high) and the video area.
struct PreviewGeometry {
  QRect label, list, video;
};
// labelWidth 0 counts as 50. Nothing is laid out for an empty client area.
PreviewGeometry LayOutPreview(QSize client, int labelWidth);

}  // namespace orvex
