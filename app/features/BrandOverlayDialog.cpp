#include "features/BrandOverlayDialog.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "platform/DebugChannel.h"

using namespace orvex;

namespace {

// Arial, or the system's sans-serif font where it is missing.
QFont BrandFont(int pixels, bool bold) {
  QFont font("Arial");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setWeight(bold ? QFont::Bold : QFont::Normal);
  return font;
}

int TextWidthOf(const std::string& text, int pixels, bool bold) {
  return QFontMetrics(BrandFont(pixels, bold)).horizontalAdvance(QString::fromStdString(text));
}

QSize ScreenSize() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(1920, 1080);
}

}  // namespace

CBrandOverlayDlg::CBrandOverlayDlg()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_OpaquePaintEvent);  // the picture fills every pixel
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle("Brand");
}

void CBrandOverlayDlg::Apply(const BrandValues& values) {
  values_ = values;
  const QSize screen = ScreenSize();
  const QRect rect = BrandWindowRect(values.position, QSize(values.width, values.height), screen);
  DebugOutput(Printf("Brand Overlay Position: Screen=%dx%d, Size=%dx%d, Pos=%d, Rect=(%d,%d,%d,%d)\n", screen.width(),
                     screen.height(), values.width, values.height, values.position, rect.left(), rect.top(),
                     rect.left() + rect.width(), rect.top() + rect.height()));
  setGeometry(rect);
  LoadLogo();
  layout_ = LayOutBrand(values_, rect.size(), logo_.size(), TextWidthOf);
  ApplyMask();
  update();
}

void CBrandOverlayDlg::LoadLogo() {
  logo_ = QImage();
  if (values_.logoPath.empty() || !values_.showLogo) {
    DebugOutput(Printf("LoadLogoImage: Skipping - Path empty=%d, ShowLogo=%d\n", values_.logoPath.empty() ? 1 : 0,
                       values_.showLogo ? 1 : 0));
    return;
  }
  QImageReader reader(QString::fromStdString(values_.logoPath));
  QImage image = reader.read();
  if (image.isNull()) {
    DebugOutput(Printf("Failed to load logo image: Path=%s, HRESULT=0x%08X\n", values_.logoPath.c_str(),
                       static_cast<unsigned>(reader.error())));
    return;
  }
  // Kept with its alpha channel when it has one, to be blended when drawn.
  logo_ = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  DebugOutput(Printf("Successfully loaded logo image: Path=%s, Size=%dx%d\n", values_.logoPath.c_str(), logo_.width(),
                     logo_.height()));
}

void CBrandOverlayDlg::Paint(QPainter& painter, bool report) const {
  const QColor background = BrandColour(values_.backgroundColour);
  painter.fillRect(QRect(QPoint(0, 0), size()), background);
  painter.setPen(BrandColour(values_.textColour));
  if (!layout_.nameLabel.isEmpty()) {
    painter.setFont(BrandFont(layout_.nameFontPixels, true));
    painter.drawText(layout_.nameLabel, Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(values_.name));
  }
  if (!layout_.titleLabel.isEmpty()) {
    painter.setFont(BrandFont(layout_.titleFontPixels, false));
    painter.drawText(layout_.titleLabel, Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(values_.title));
  }
  if (logo_.isNull()) return;
  const QRect draw = LogoDrawRect(layout_.logo, logo_.size());
  if (draw.isEmpty()) {
    if (report)
      DebugOutput(Printf("Logo not drawn: LogoRect empty=%d, ImageSize=%dx%d\n", layout_.logo.isEmpty() ? 1 : 0,
                         logo_.width(), logo_.height()));
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(draw, logo_);
  if (report)
    DebugOutput(Printf("Drawing logo: Path=%s, ImageSize=%dx%d, LogoRect=(%d,%d,%d,%d), DrawRect=(%d,%d,%d,%d)\n",
                       values_.logoPath.c_str(), logo_.width(), logo_.height(), layout_.logo.left(),
                       layout_.logo.top(), layout_.logo.left() + layout_.logo.width(),
                       layout_.logo.top() + layout_.logo.height(), draw.left(), draw.top(),
                       draw.left() + draw.width(), draw.top() + draw.height()));
}

QImage CBrandOverlayDlg::Picture() const {
  QImage picture(size(), QImage::Format_RGB32);
  QPainter painter(&picture);
  Paint(painter, false);
  return picture;
}

void CBrandOverlayDlg::ApplyMask() {
  if (!values_.transparent) {
    clearMask();
    return;
  }
  // The colour key: exactly the background colour is cut out, shape and input alike.
  const QImage picture = Picture();
  const QRgb key = BrandColour(values_.backgroundColour).rgb();
  setMask(QBitmap::fromImage(picture.createMaskFromColor(key, Qt::MaskInColor)));
}

void CBrandOverlayDlg::ShowOverlay() {
  show();
  raise();
}

void CBrandOverlayDlg::HideOverlay() {
  if (!isVisible()) return;
  hide();
  drag_.Release();
  DebugOutput("Brand overlay hidden\n");
}

void CBrandOverlayDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, true);
}

void CBrandOverlayDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) return HideOverlay();
  if (event->button() == Qt::LeftButton) drag_.Press(event->globalPosition().toPoint());
}

void CBrandOverlayDlg::mouseMoveEvent(QMouseEvent* event) { drag_.Move(*this, event->globalPosition().toPoint()); }

void CBrandOverlayDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) drag_.Release();
}
