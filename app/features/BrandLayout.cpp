#include "features/BrandLayout.h"

#include <algorithm>

#include "core/Settings.h"

namespace orvex {

const char* const kBrandPositions[4] = {"Top Left", "Top Right", "Bottom Left", "Bottom Right"};

namespace {

constexpr int kMargin = 10;
constexpr int kNameHeight = 30, kTitleHeight = 25, kGap = 10;
constexpr int kSmallestFont = 8;

bool FlagOr(const Settings& settings, const char* name, bool fallback) {
  const auto text = settings.ReadText(name);
  return text ? *text == "TRUE" : fallback;
}

uint32_t ColourOr(const Settings& settings, const char* name, uint32_t fallback) {
  const auto text = settings.ReadText(name);
  return text ? static_cast<uint32_t>(LeadingNumber(*text)) : fallback;
}

}  // namespace

BrandValues ReadBrandValues(const Settings& settings) {
  BrandValues values;
  values.enabled = FlagOr(settings, "EnableBrand", false);
  values.showLogo = FlagOr(settings, "BrandShowLogo", true);
  values.showName = FlagOr(settings, "BrandShowName", true);
  values.showTitle = FlagOr(settings, "BrandShowTitle", true);
  values.position = settings.ReadNumber("BrandPosition", 0, 3, 0);
  values.name = settings.ReadText("BrandName").value_or("");
  values.title = settings.ReadText("BrandTitle").value_or("");
  values.logoPath = settings.ReadText("BrandLogoPath").value_or("");
  values.transparent = FlagOr(settings, "BrandTransparent", false);
  values.onlyWithPreview = FlagOr(settings, "BrandShowOnlyWhenPreviewDialog", false);
  values.width = settings.ReadNumber("BrandWidth", kBrandMinimumSize, kBrandMaximumSize, 250);
  values.height = settings.ReadNumber("BrandHeight", kBrandMinimumSize, kBrandMaximumSize, 200);
  values.textColour = ColourOr(settings, "BrandTextColor", 0);
  values.backgroundColour = ColourOr(settings, "BrandBkgColor", 0xFFFFFF);
  return values;
}

void WriteBrandValues(Settings& settings, const BrandValues& values) {
  settings.WriteFlag("EnableBrand", values.enabled);
  settings.WriteFlag("BrandShowLogo", values.showLogo);
  settings.WriteFlag("BrandShowName", values.showName);
  settings.WriteFlag("BrandShowTitle", values.showTitle);
  settings.WriteNumber("BrandPosition", values.position);
  settings.WriteText("BrandName", values.name);
  settings.WriteText("BrandTitle", values.title);
  settings.WriteText("BrandLogoPath", values.logoPath);
  settings.WriteFlag("BrandTransparent", values.transparent);
  settings.WriteFlag("BrandShowOnlyWhenPreviewDialog", values.onlyWithPreview);
  settings.WriteNumber("BrandWidth", values.width);
  settings.WriteNumber("BrandHeight", values.height);
  settings.WriteNumber("BrandTextColor", static_cast<int>(values.textColour));
  settings.WriteNumber("BrandBkgColor", static_cast<int>(values.backgroundColour));
}

QRect BrandWindowRect(int position, QSize size, QSize screen) {
  const int right = screen.width() - size.width() - kMargin, bottom = screen.height() - size.height() - kMargin;
  const bool onRight = position == 1 || position == 3, onBottom = position == 2 || position == 3;
  return QRect(onRight ? right : kMargin, onBottom ? bottom : kMargin, size.width(), size.height());
}

int FittingFontPixels(const std::string& text, int start, bool bold, int room, const TextWidth& width) {
  int pixels = start;
  while (pixels > kSmallestFont && width(text, pixels, bold) > room) --pixels;
  return pixels;
}

BrandLayout LayOutBrand(const BrandValues& values, QSize window, QSize logoSize, const TextWidth& width) {
  BrandLayout layout;
  const int w = window.width(), h = window.height();
  const int nameH = values.showName && !values.name.empty() ? kNameHeight : 0;
  const int titleH = values.showTitle && !values.title.empty() ? kTitleHeight : 0;
  const int text = nameH + titleH + (nameH && titleH ? kGap : 0);
  int logoH = 0;
  // A decoded image always has a size: an empty one means no logo was loaded.
  if (values.showLogo && !values.logoPath.empty() && !logoSize.isEmpty()) {
    const int avail = h - (text ? text + kGap : 0) - 2 * kMargin;
    const double ratio = static_cast<double>(logoSize.width()) / logoSize.height();
    const int fit = static_cast<int>((w - 2 * kMargin) / ratio);
    logoH = std::min(avail, std::max(30, std::min(avail, fit)));
  }
  const int stack = text + logoH + (text && logoH > 0 ? kGap : 0);
  layout.top = (h - stack) / 2;
  if (nameH) layout.nameLabel = QRect(kMargin, layout.top, w - 2 * kMargin, kNameHeight);
  if (titleH) layout.titleLabel = QRect(kMargin, nameH ? layout.top + kNameHeight + kGap : layout.top, w - 2 * kMargin, kTitleHeight);
  if (nameH) layout.nameFontPixels = FittingFontPixels(values.name, 24, true, w - 2 * kMargin, width);
  if (titleH) layout.titleFontPixels = FittingFontPixels(values.title, 18, false, w - 2 * kMargin, width);
  if (logoH > 0)
    layout.logo = QRect(QPoint(kMargin, layout.top + text + (text ? kGap : 0)), QSize(w - 2 * kMargin, logoH));
  return layout;
}

QRect LogoDrawRect(QRect logo, QSize image) {
  if (logo.isEmpty() || image.isEmpty()) return {};
  // Wider than the rectangle in proportion: full width, centred vertically.
  if (static_cast<int64_t>(image.width()) * logo.height() > static_cast<int64_t>(logo.width()) * image.height()) {
    const int height = static_cast<int>(static_cast<int64_t>(logo.width()) * image.height() / image.width());
    return QRect(logo.left(), logo.top() + (logo.height() - height) / 2, logo.width(), height);
  }
  const int drawn = static_cast<int>(static_cast<int64_t>(logo.height()) * image.width() / image.height());
  return QRect(logo.left() + (logo.width() - drawn) / 2, logo.top(), drawn, logo.height());
}

uint32_t ColourRef(int red, int green, int blue) {
  return static_cast<uint32_t>(red & 0xff) | (static_cast<uint32_t>(green & 0xff) << 8) |
         (static_cast<uint32_t>(blue & 0xff) << 16);
}
int RedOf(uint32_t colour) { return colour & 0xff; }
int GreenOf(uint32_t colour) { return (colour >> 8) & 0xff; }
int BlueOf(uint32_t colour) { return (colour >> 16) & 0xff; }

}  // namespace orvex
