#include "features/CameraOverlayDialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <strings.h>

#include "features/CameraPlacement.h"
#include "platform/CameraFeed.h"
#include "platform/DebugChannel.h"

using namespace orvex;

namespace {
const QColor kCardColour(20, 20, 20);
}  // namespace

CCameraOverlayDlg::CCameraOverlayDlg(FeedFactory makeFeed)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      makeFeed_(std::move(makeFeed)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle("Camera");
  card_ = new QLabel(this);
  card_->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  card_->setWordWrap(true);  // a long name or the size line would run off the card
  card_->setAutoFillBackground(true);
  QPalette palette = card_->palette();
  palette.setColor(QPalette::Window, kCardColour);
  palette.setColor(QPalette::WindowText, Qt::white);
  card_->setPalette(palette);
  // Presses on the card move the window too.
  card_->setAttribute(Qt::WA_TransparentForMouseEvents);
  const QRect rect = CameraOverlayRect(placement_, drawnSize(), screenSize());
  setGeometry(rect);
  ApplyShape();
}

CCameraOverlayDlg::~CCameraOverlayDlg() {
  if (feed_) feed_->Stop();
}

QSize CCameraOverlayDlg::screenSize() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize(1920, 1080);
}

int CCameraOverlayDlg::drawnSize() const { return DrawnCameraSize(size_, screenSize()); }

bool CCameraOverlayDlg::feedRunning() const { return feed_ && feed_->running(); }

void CCameraOverlayDlg::ApplyShape() {
  const int s = drawnSize();
  setMask(QRegion(0, 0, s, s, shape_ == 0 ? QRegion::Ellipse : QRegion::Rectangle));
}

void CCameraOverlayDlg::MoveToPlacement() { setGeometry(CameraOverlayRect(placement_, drawnSize(), screenSize())); }

void CCameraOverlayDlg::SetCameraProperties(const std::string& cameraName, int size, int shape, int placement) {
  const bool nameChanged = strcasecmp(cameraName.c_str(), cameraName_.c_str()) != 0;
  if (nameChanged) StopCapture();
  cameraName_ = cameraName;
  size_ = size;
  shape_ = shape;
  placement_ = placement;
  ApplyShape();
  MoveToPlacement();
  card_->setGeometry(0, 0, drawnSize(), drawnSize());
  if (nameChanged && shown_) {
    DebugOutput("Restarting video capture with new camera\n");
    RefreshContent();
    StartCapture();
  } else {
    RefreshContent();
  }
}

void CCameraOverlayDlg::RefreshContent() {
  const int s = drawnSize();
  if (capturing_) {
    if (feed_) feed_->SetPictureSize(QSize(s, s));
    card_->hide();
    update();
    return;
  }
  QFont font("Arial");
  font.setPixelSize(std::max(1, s / 8));
  font.setWeight(QFont::Bold);
  card_->setFont(font);
  card_->setText(QString::fromStdString(CameraCardText(cameraName_, s, shape_, placement_)));
  card_->setGeometry(0, 0, s, s);
  card_->show();
}

void CCameraOverlayDlg::StartCapture() {
  if (feedRunning() || cameraName_.empty()) return;
  if (!feed_) feed_ = makeFeed_();
  const int s = drawnSize();
  feed_->SetPictureSize(QSize(s, s));
  CameraFeed::Callbacks callbacks;
  callbacks.pictureReady = [this] {
    QMetaObject::invokeMethod(this, [this] {
      if (!feed_) return;
      if (QImage newest = feed_->TakePicture(); !newest.isNull()) picture_ = std::move(newest);
      update();
    }, Qt::QueuedConnection);
  };
  callbacks.started = [this] {
    QMetaObject::invokeMethod(this, [this] {
      if (!feedRunning()) return;
      capturing_ = true;
      RefreshContent();
    }, Qt::QueuedConnection);
  };
  callbacks.failed = [this] {
    // The card stays; the device is given back.
    QMetaObject::invokeMethod(this, [this] { ReleaseCapture(); }, Qt::QueuedConnection);
  };
  feed_->Start(cameraName_, std::move(callbacks));
}

void CCameraOverlayDlg::ReleaseCapture() {
  if (!feedRunning()) return;
  feed_->Stop();
  capturing_ = false;
  picture_ = QImage();
  DebugOutput("Video capture cleaned up\n");
  RefreshContent();
}

void CCameraOverlayDlg::StopCapture() {
  if (!feedRunning()) return;
  DebugOutput("Video capture stopped\n");
  ReleaseCapture();
}

void CCameraOverlayDlg::ShowOverlay() {
  show();
  raise();
  shown_ = true;
}

void CCameraOverlayDlg::HideOverlay() {
  if (!shown_) return;
  StopCapture();
  hide();
  shown_ = false;
  drag_.Release();
  DebugOutput("Camera overlay hidden\n");
}

void CCameraOverlayDlg::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int s = drawnSize();
  if (capturing_ && !picture_.isNull()) {
    painter.drawImage(QRect(0, 0, s, s), picture_);
    return;
  }
  painter.fillRect(rect(), Qt::black);
  painter.setPen(QPen(Qt::white, 2));
  painter.drawRect(QRect(0, 0, s, s));
}

void CCameraOverlayDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    HideOverlay();
    return;
  }
  if (event->button() == Qt::LeftButton) drag_.Press(event->globalPosition().toPoint());
}

void CCameraOverlayDlg::mouseMoveEvent(QMouseEvent* event) { drag_.Move(*this, event->globalPosition().toPoint()); }

void CCameraOverlayDlg::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) drag_.Release();
}

void CCameraOverlayDlg::closeEvent(QCloseEvent* event) {
  // Closing hides: the object lives as long as the main window.
  event->ignore();
  HideOverlay();
}
