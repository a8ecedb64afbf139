#include "features/RecordingControlsToolbarDialog.h"

#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>

#include "platform/DebugChannel.h"
#include "platform/DisplaySync.h"

using namespace orvex;

namespace {

const QColor kBackground(240, 240, 240);
const char* const kPictureFiles[] = {":/orvex/toolbar-start.png", ":/orvex/toolbar-stop.png",
                                     ":/orvex/toolbar-pause.png", ":/orvex/toolbar-resume.png"};
constexpr int kSettingsIconSize = 48;

QRect PrimaryToolbarRect() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QSize size = screen ? screen->geometry().size() : QSize(1920, 1080);
  return ToolbarRect(size.width(), size.height());
}

}  // namespace

void ToolbarPictureButton::SetPicture(const QPixmap& picture) {
  picture_ = picture;
  update();
}

void ToolbarPictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kBackground);
  if (picture_.isNull()) return;
  if (!isEnabled()) painter.setOpacity(0.35);
  // Smaller pictures (the settings icon) stand in the middle.
  const QSize size = picture_.deviceIndependentSize().toSize();
  painter.drawPixmap(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), picture_);
  if (isDown()) painter.fillRect(rect(), QColor(0, 0, 0, 40));
}

CRecordingControlsToolbarDlg::CRecordingControlsToolbarDlg(ToolbarHost& host, bool recording, bool paused)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus),
      host_(host) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle("Recording Controls");
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  setPalette(palette);

  storedRect_ = PrimaryToolbarRect();
  setFixedSize(storedRect_.size());
  move(storedRect_.topLeft());

  LoadPictures();
  for (int i = 0; i < 3; ++i) {
    auto* button = new ToolbarPictureButton(this);
    button->setGeometry(ToolbarButtonRect(static_cast<ToolbarButton>(i)));
    button->installEventFilter(this);
    buttons_[i] = button;
  }
  const QIcon appIcon(":/orvex/orvex.png");
  QPixmap settings = appIcon.pixmap(kSettingsIconSize, kSettingsIconSize);
  // An icon without that size keeps its own.
  if (settings.isNull()) settings = appIcon.pixmap(appIcon.availableSizes().value(0));
  buttons_[kSettingsButton]->SetPicture(settings);
  tips_[kSettingsButton] = "Settings";
  connect(buttons_[kStartStopButton], &QAbstractButton::clicked, this, [this] { host_.OnToolbarStartStop(); });
  connect(buttons_[kPauseResumeButton], &QAbstractButton::clicked, this, [this] { host_.OnToolbarPauseResume(); });
  connect(buttons_[kSettingsButton], &QAbstractButton::clicked, this, [this] { host_.OnToolbarSettings(); });

  tipTimer_.setSingleShot(true);
  connect(&tipTimer_, &QTimer::timeout, this, &CRecordingControlsToolbarDlg::ShowPendingTip);

  // Made hidden: it shows only where a recording cannot capture it.
  shown_ = false;
  UpdateButtons(recording, paused);
  if (recording) DebugOutput("Recording controls toolbar: Hidden because recording is active\n");
}

void CRecordingControlsToolbarDlg::LoadPictures() {
  for (int i = 0; i < 4; ++i) {
    const QPixmap loaded(kPictureFiles[i]);
    // A picture that cannot be loaded leaves its button without one.
    if (loaded.isNull() || loaded.width() == 0 || loaded.height() == 0) continue;
    pictures_[i] = loaded.scaled(kToolbarButtonSize, kToolbarButtonSize, Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
  }
}

void CRecordingControlsToolbarDlg::UpdateButtons(bool recording, bool paused) {
  const ToolbarButtonStates states = ToolbarStates(recording, paused);
  buttons_[kStartStopButton]->SetPicture(picture(states.startStop));
  tips_[kStartStopButton] = states.startStopTip;
  buttons_[kStartStopButton]->setEnabled(true);
  buttons_[kPauseResumeButton]->SetPicture(picture(states.pauseResume));
  tips_[kPauseResumeButton] = states.pauseResumeTip;
  buttons_[kPauseResumeButton]->setEnabled(states.pauseResumeEnabled);
  for (ToolbarPictureButton* button : buttons_) button->update();
}

void CRecordingControlsToolbarDlg::ShowToolbar() {
  // Every show puts it back where it belongs, wherever it was dragged.
  move(storedRect_.topLeft());
  if (shown_) {
    raise();
    return;
  }
  show();
  raise();
  shown_ = true;
  DebugOutput("Recording controls toolbar shown\n");
}

void CRecordingControlsToolbarDlg::HideToolbar() {
  tipTimer_.stop();
  if (tipShowing_ || QToolTip::isVisible()) QToolTip::hideText();
  hide();
  shown_ = false;
  DebugOutput("Recording controls toolbar hidden\n");
  WaitForDisplay();
}

bool CRecordingControlsToolbarDlg::eventFilter(QObject* watched, QEvent* event) {
  int index = -1;
  for (int i = 0; i < 3; ++i)
    if (watched == buttons_[i]) index = i;
  if (index < 0) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ToolTip:
      return true;  // the toolbar keeps its own timing
    case QEvent::Enter:
      pendingTip_ = index;
      tipTimer_.start(TipDelayMs(tipShowing_));
      tipShowing_ = false;
      break;
    case QEvent::Leave:
      tipTimer_.stop();
      tipShowing_ = QToolTip::isVisible();
      QToolTip::hideText();
      break;
    case QEvent::MouseButtonPress:
      tipTimer_.stop();
      QToolTip::hideText();
      tipShowing_ = false;
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

void CRecordingControlsToolbarDlg::ShowPendingTip() {
  if (pendingTip_ < 0 || !buttons_[pendingTip_]->underMouse()) return;
  ToolbarPictureButton* button = buttons_[pendingTip_];
  QToolTip::showText(QCursor::pos(), tips_[pendingTip_], button, button->rect(), kTipDurationMs);
}

// The background moves the window by the toolbar's own handling, with or
// without a window manager; the buttons take their own presses.
void CRecordingControlsToolbarDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) drag_.Press(event->globalPosition().toPoint());
}

void CRecordingControlsToolbarDlg::mouseMoveEvent(QMouseEvent* event) {
  drag_.Move(*this, event->globalPosition().toPoint());
}

void CRecordingControlsToolbarDlg::mouseReleaseEvent(QMouseEvent*) { drag_.Release(); }
