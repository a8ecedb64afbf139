// The main window's side of recording: the Start/Stop command, what the
// controller reads from and shows in the window, the elapsed time and the
// pause when the window is activated.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "core/MainDialog.h"
#include "core/Product.h"
#include "core/RecordingEngine.h"
#include "platform/DebugChannel.h"
#include "platform/Notifier.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

using Icon = UserPrompts::Icon;

constexpr char kStartCaption[] = "Start Recording";
constexpr char kStopCaption[] = "Stop Recording";
const QColor kStartFace(169, 202, 245);
const QColor kStopFace(242, 61, 61);
constexpr char kMessage102[] =
    "Video Streaming needs an Audio Source To the Selected.Please Check \"Record With Audio\" Option and then Select an "
    "Audio Source.\n\nIf you dont need audio when streaming the Video, please reduce the volume of the Microphone to "
    "zero from Control Panel and then Click \"Start Recording\".";
constexpr char kSmallCameraQuestion[] =
    "Warning: Camera window size (%d pixels) is very small!\n\nThis may make it difficult to see the camera feed "
    "clearly.\nRecommended minimum size: 150 pixels.\n\nDo you want to continue with this size?";
constexpr int kSmallCameraLimit = 100;
constexpr int kSmallCameraReplacement = 150;
constexpr int kExitWaitMs = 30000;
// A mouse press this soon after an activation makes it a click activation.
constexpr int kClickActivationMs = 150;
constexpr int kPauseBalloonMs = 10000;

}  // namespace

void CMainDlg::OnStartStop() {
  PullControls();
  if (ControlAs<QPushButton>(IDC_START_STOP)->text() != kStartCaption) {
    controller_->StopRecording();
    return;
  }
  const bool scheduledNoStream = doNotStreamScheduled_ && activeScheduleIndex_ != -1;
  if (scheduledNoStream) {
    if (main_.enableStreaming && !main_.recordAudio) {
      services_.prompts.Tell(kProgramName, kMessage102, Icon::Warning);
      return;
    }
  } else if (main_.enableStreaming) {
    const bool anyEnabled =
        std::any_of(main_.servers.begin(), main_.servers.end(), [](const StreamingServer& s) { return s.enabled; });
    if (!anyEnabled) {
      services_.prompts.Tell("No Streaming Server Selected",
                             "Please select at least one server from the list before starting recording.",
                             Icon::Warning);
      return;
    }
    if (!main_.recordAudio) {
      services_.prompts.Tell(kProgramName, kMessage102, Icon::Warning);
      return;
    }
  }
  if (settings_.ReadFlag("MinimizeToTray")) hide();
  controller_->BeginRecording();
}

RecordingSnapshot CMainDlg::TakeSnapshot() {
  PullControls();
  RecordingSnapshot snapshot;
  RecordingOptions& options = snapshot.options;
  options.recordAudio = main_.recordAudio;
  options.microphone = main_.microphone;
  if (options.microphone.empty()) options.defaultAudioInput = services_.engine.GetDefaultAudioDeviceNameAsString();
  options.streaming = main_.enableStreaming;
  options.servers = main_.servers;
  options.musicEnabled = music_.enabled;
  options.musicPath = music_.filePath;
  options.playback = music_.playToDefaultDevice;
  options.separate = music_.separateAudioVideo;
  options.volume = music_.volume;
  snapshot.path = PathOptions();
  snapshot.scheduled = activeScheduleIndex_ != -1;
  snapshot.scheduledNoStream = doNotStreamScheduled_ && snapshot.scheduled;
  // The engine records the whole X screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    snapshot.screenWidth = screen->geometry().width();
    snapshot.screenHeight = screen->geometry().height();
  }
  return snapshot;
}

OutputPathOptions CMainDlg::PathOptions() const {
  OutputPathOptions path;
  path.folder = main_.folderPath;
  path.name = main_.defaultFileName;
  path.dateFolders = main_.dateFolders;
  const QComboBox* formats = ControlAs<QComboBox>(IDC_DATE_FORMAT);
  path.dateFormat = formats->currentIndex() >= 0 ? formats->currentText().toStdString() : kDateFormats[0];
  path.newFilePerRecording = main_.newFilePerRecording;
  return path;
}

void CMainDlg::ConfirmCameraSize() {
  if (!main_.includeCamera) return;
  if (const auto kept = KeepCameraSizeIfConfirmed())
    DebugOutput(*kept ? "User confirmed small camera size\n" : "Camera size reset to 150 pixels\n");
}

std::optional<bool> CMainDlg::KeepCameraSizeIfConfirmed() {
  if (main_.cameraSize < 1 || main_.cameraSize > kSmallCameraLimit) return std::nullopt;
  if (services_.prompts.Ask("Small Camera Window Warning", Printf(kSmallCameraQuestion, main_.cameraSize),
                            Icon::Warning, true))
    return true;
  main_.cameraSize = kSmallCameraReplacement;
  ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->setText(QString::number(kSmallCameraReplacement));
  return false;
}

bool CMainDlg::PlaybackTicked() const { return ControlAs<QCheckBox>(IDC_PLAYBACK)->isChecked(); }
bool CMainDlg::StreamingTicked() const { return ControlAs<QCheckBox>(IDC_STREAMING)->isChecked(); }

void CMainDlg::PaintStartStopButton(bool recording) {
  auto* button = ControlAs<QPushButton>(IDC_START_STOP);
  button->setText(recording ? kStopCaption : kStartCaption);
  button->setStyleSheet(QString("background-color: %1;").arg((recording ? kStopFace : kStartFace).name()));
}

void CMainDlg::ShowRecordingState(bool recording) {
  PaintStartStopButton(recording);
  Control(IDC_CAMERA_SIZE)->setEnabled(!recording);
  DebugOutput(recording ? "Camera size edit box disabled during recording\n"
                        : "Camera size edit box re-enabled after recording stopped\n");
  UpdateMusicControls(true);
}

void CMainDlg::OnTimer1() {
  UpdateSystemStats();
  const qint64 elapsedMs = controller_->ElapsedMs();
  if (elapsedMs > 0 && controller_->IsRecording())
    SetPaneText(0, QString::fromStdString(Printf("Recording : %d Min %d Sec", static_cast<int>(elapsedMs / 60000),
                                                 static_cast<int>((elapsedMs / 1000) % 60))));
}

void CMainDlg::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
  // The press of a click that activates the window may come just before or
  // just after the activation: decide a moment later.
  activationMs_ = SteadyMs();
  QTimer::singleShot(kClickActivationMs, this, &CMainDlg::DecidePauseOnActivation);
}

void CMainDlg::DecidePauseOnActivation() {
  const bool byClick = std::abs(lastMousePressMs_ - activationMs_) <= kClickActivationMs;
  if (!PauseOnActivation(defaults_.pauseWhenActivated, byClick, isMinimized(), IsRecording(),
                         controller_->paused()))
    return;
  controller_->TogglePause();
  notifier().ShowBalloon(kProductName,
                                 "Recording has been paused because the main window was activated.This Option is "
                                 "Enabled from Default Settings.",
                                 Notifier::Icon::Information, kPauseBalloonMs);
  DebugOutput("Recording paused due to main window activation\n");
}

void CMainDlg::StopAndWaitForFile() {
  if (IsRecording()) controller_->StopRecording();
  if (!controller_->AnyWorkerAlive()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  controller_->WaitForWorkers(kExitWaitMs);
  QApplication::restoreOverrideCursor();
}
