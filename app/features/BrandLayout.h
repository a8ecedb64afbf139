// The brand overlay's values and geometry: what the store holds, where the
// window stands, and how name, title and logo stack inside it.
#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <functional>
#include <string>

namespace orvex {

class Settings;

struct BrandValues {
  bool enabled = false;
  bool showLogo = true, showName = true, showTitle = true;
  int position = 0;  // 0 top left, 1 top right, 2 bottom left, 3 bottom right
  std::string name, title, logoPath;
  bool transparent = false;
  bool onlyWithPreview = false;
  int width = 250, height = 200;
  uint32_t textColour = 0;             // 0x00BBGGRR
  uint32_t backgroundColour = 0xFFFFFF;
};

inline constexpr int kBrandMinimumSize = 100;
inline constexpr int kBrandMaximumSize = 2000;
extern const char* const kBrandPositions[4];

// Missing values take their defaults; a size outside 100-2000 and a
// position outside 0-3 read as the default.
BrandValues ReadBrandValues(const Settings& settings);
// All fourteen values, in the store's table order.
void WriteBrandValues(Settings& settings, const BrandValues& values);

// The window's rectangle, 10 pixels from the screen's edges; any position
// but 1-3 is the top left.
QRect BrandWindowRect(int position, QSize size, QSize screen);

// Text widths at a pixel size, bold or not: the font's business.
using TextWidth = std::function<int(const std::string& text, int pixelSize, bool bold)>;

struct BrandLayout {
  QRect nameLabel, titleLabel;  // empty when not shown
  QRect logo;                   // empty when no logo takes part
  int nameFontPixels = 24, titleFontPixels = 18;
  int top = 0;
};

// The stack of name, title and logo in a window of the given size.
// logoSize is the decoded image's size (empty or invalid: no logo was loaded).
BrandLayout LayOutBrand(const BrandValues& values, QSize window, QSize logoSize, const TextWidth& width);
// The image's rectangle inside the logo's, keeping its width-to-height ratio.
QRect LogoDrawRect(QRect logo, QSize image);
// The largest pixel size from `start` down to 8 whose text fits `room`.
int FittingFontPixels(const std::string& text, int start, bool bold, int room, const TextWidth& width);

// 0x00BBGGRR to and from red, green and blue.
uint32_t ColourRef(int red, int green, int blue);
int RedOf(uint32_t colour);
int GreenOf(uint32_t colour);
int BlueOf(uint32_t colour);
inline QColor BrandColour(uint32_t colour) { return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour)); }

}  // namespace orvex
