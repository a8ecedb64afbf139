#include "features/CameraPreviewDialog.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <strings.h>

#include "features/CameraPlacement.h"
#include "platform/CameraFeed.h"
#include "platform/DebugChannel.h"

using namespace orvex;

namespace {

constexpr char kCaption[] =
    "Camera Preview | Press Alt+F for Full Screen | Press Alt+P for Pause | Press Alt+R for Resume | Press Alt+X for "
    "Exit | Press Esc to Exit Full Screen";
constexpr Qt::WindowFlags kWindowed =
    Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
constexpr Qt::WindowFlags kFullScreen = Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;

}  // namespace

// Paints the newest camera picture, filling the area exactly.
class CCameraPreviewDlg::VideoArea : public QWidget {
 public:
  explicit VideoArea(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);  // the keys' target while the list is hidden
  }
  QImage picture;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (picture.isNull()) painter.fillRect(rect(), Qt::black);
    else painter.drawImage(rect(), picture);
  }
};

CCameraPreviewDlg::CCameraPreviewDlg(PreviewHost& host, std::vector<std::string> cameras, const std::string& selected,
                                     FeedFactory makeFeed, QWidget* parent)
    : QDialog(parent, kWindowed), host_(host), makeFeed_(std::move(makeFeed)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(kCaption);
  label_ = new QLabel("Camera:", this);
  list_ = new QComboBox(this);
  video_ = new VideoArea(this);
  video_->lower();  // the list stays above the picture
  for (QWidget* watched : std::initializer_list<QWidget*>{this, list_, video_}) watched->installEventFilter(this);
  resize(800, 600);

  int chosen = -1;
  for (const std::string& camera : cameras) {
    if (chosen < 0 && strcasecmp(camera.c_str(), selected.c_str()) == 0) chosen = list_->count();
    list_->addItem(QString::fromStdString(camera));
  }
  LayOut();
  if (list_->count() > 0) {
    list_->setCurrentIndex(chosen >= 0 ? chosen : 0);
    cameraName_ = list_->currentText().toStdString();
    StartCamera();
  }
  connect(list_, &QComboBox::currentIndexChanged, this, &CCameraPreviewDlg::OnCameraChosen);
}

QWidget* CCameraPreviewDlg::videoArea() const { return video_; }

CCameraPreviewDlg::~CCameraPreviewDlg() {
  if (feed_) feed_->Stop();
}

void CCameraPreviewDlg::LayOut() {
  if (isMinimized()) return;
  const QSize client = size();
  if (client.isEmpty()) return;
  if (fullScreen_) {
    video_->setGeometry(rect());
  } else {
    const PreviewGeometry geometry = LayOutPreview(client, label_->width());
    if (geometry.list.topLeft() != lastListPosition_) update();  // the strip the list leaves
    lastListPosition_ = geometry.list.topLeft();
    label_->setGeometry(geometry.label);
    list_->setGeometry(geometry.list.x(), geometry.list.y(), geometry.list.width(), list_->sizeHint().height());
    list_->setMaxVisibleItems(200 / std::max(1, list_->sizeHint().height()));
    video_->setGeometry(geometry.video);
  }
  if (feed_) feed_->SetPictureSize(video_->size());
}

void CCameraPreviewDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut();
}

void CCameraPreviewDlg::StartCamera() {
  if (cameraName_.empty() || (feed_ && feed_->running())) return;
  if (!feed_) feed_ = makeFeed_();
  feed_->SetPictureSize(video_->size());
  const int generation = ++generation_;
  CameraFeed::Callbacks callbacks;
  callbacks.pictureReady = [this, generation] {
    QMetaObject::invokeMethod(this, [this, generation] {
      if (generation != generation_ || !feed_) return;
      if (QImage newest = feed_->TakePicture(); !newest.isNull()) video_->picture = std::move(newest);
      video_->update();
    }, Qt::QueuedConnection);
  };
  callbacks.started = [this, generation] {
    QMetaObject::invokeMethod(this, [this, generation] { capturing_ = generation == generation_; },
                              Qt::QueuedConnection);
  };
  callbacks.failed = [this, generation] {
    QMetaObject::invokeMethod(this, [this, generation] {
      if (generation == generation_) StopCamera();
    }, Qt::QueuedConnection);
  };
  feed_->Start(cameraName_, std::move(callbacks));
}

// Stops and releases a running capture; the picture area goes empty.
void CCameraPreviewDlg::StopCamera() {
  if (!feed_ || !feed_->running()) return;
  feed_->Stop();
  ++generation_;
  capturing_ = false;
  video_->picture = QImage();
  video_->update();
  DebugOutput("Camera preview video capture cleaned up\n");
}

void CCameraPreviewDlg::OnCameraChosen(int index) {
  if (index < 0) return;
  if (feed_ && feed_->running()) {
    DebugOutput("Camera preview video capture stopped\n");
    StopCamera();
  }
  cameraName_ = list_->itemText(index).toStdString();
  StartCamera();
}

void CCameraPreviewDlg::EnterFullScreen() {
  if (fullScreen_) return;
  savedRect_ = geometry();
  video_->setFocus();  // a hidden list must not keep the keyboard
  label_->hide();
  list_->hide();
  setWindowFlags(kFullScreen);
  const QScreen* screen = QGuiApplication::primaryScreen();
  setGeometry(screen ? screen->geometry() : QRect(0, 0, 1920, 1080));
  fullScreen_ = true;
  show();
  LayOut();
  DebugOutput("Camera preview entered full screen mode\n");
  activateWindow();
  raise();
  // After the preview's own raise: the brand stays above the picture.
  host_.RaiseBrandOverlay("Brand overlay brought to top in full screen mode\n");
}

void CCameraPreviewDlg::LeaveFullScreen() {
  if (!fullScreen_) return;
  setWindowFlags(kWindowed);
  if (savedRect_.isValid()) setGeometry(savedRect_);
  fullScreen_ = false;
  label_->show();
  list_->show();
  show();
  LayOut();
  DebugOutput("Camera preview exited full screen mode\n");
  host_.RaiseBrandOverlay("Brand overlay brought to top after exiting full screen\n");
  activateWindow();
}

void CCameraPreviewDlg::TogglePauseFromPreview(bool pause) {
  if (!host_.IsRecording() || host_.RecordingPaused() == pause) return;
  host_.PostPauseCommand();
  DebugOutput(pause ? "Recording paused from camera preview dialog\n" : "Recording resumed from camera preview dialog\n");
}

bool CCameraPreviewDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (!(key->modifiers() & Qt::AltModifier)) return QDialog::eventFilter(watched, event);
  switch (key->key()) {
    case Qt::Key_F: fullScreen_ ? LeaveFullScreen() : EnterFullScreen(); return true;
    case Qt::Key_P: TogglePauseFromPreview(true); return true;
    case Qt::Key_R: TogglePauseFromPreview(false); return true;
    case Qt::Key_X: close(); return true;
    default: return QDialog::eventFilter(watched, event);
  }
}

QStringList CCameraPreviewDlg::MenuEntries() const {
  QStringList entries{"Full Screen\tAlt+F"};
  if (host_.IsRecording()) entries << (host_.RecordingPaused() ? "Resume\tAlt+R" : "Pause\tAlt+P");
  entries << "Exit\tAlt+X";
  return entries;
}

void CCameraPreviewDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction("Full Screen\tAlt+F", this, [this] { fullScreen_ ? LeaveFullScreen() : EnterFullScreen(); });
  menu.addSeparator();
  if (host_.IsRecording()) {
    if (host_.RecordingPaused()) menu.addAction("Resume\tAlt+R", this, [this] { TogglePauseFromPreview(false); });
    else menu.addAction("Pause\tAlt+P", this, [this] { TogglePauseFromPreview(true); });
    menu.addSeparator();
  }
  menu.addAction("Exit\tAlt+X", this, [this] { close(); });
  menu.exec(event->globalPos());
}

void CCameraPreviewDlg::reject() {
  if (fullScreen_) LeaveFullScreen();
  else close();
}

void CCameraPreviewDlg::closeEvent(QCloseEvent* event) {
  LeaveFullScreen();
  if (feed_ && feed_->running()) {
    DebugOutput("Camera preview video capture stopped\n");
    StopCamera();
  }
  // Not the dialog's own close handling: it would go through reject() again.
  event->accept();
  emit closed();
}
