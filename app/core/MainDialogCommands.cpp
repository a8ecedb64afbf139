// The main window's control handlers and menu commands.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "core/AboutDialog.h"
#include "core/CameraPropertiesDialog.h"
#include "core/ClickablePicture.h"
#include "core/MainDialog.h"
#include "features/DefaultSettingsDialog.h"
#include "core/Product.h"
#include "core/RecordingEngine.h"
#include "core/StreamingSettingsDialog.h"
#include "features/EventLogViewerDialog.h"
#include "platform/GlobalHotkeys.h"
#include "platform/CameraControls.h"
#include "platform/DebugChannel.h"
#include "platform/DesktopLauncher.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

using Icon = UserPrompts::Icon;

constexpr char kMusicFilter[] =
    "Audio Files (*.mp3;*.wav;*.wma;*.m4a;*.aac)|*.mp3;*.wav;*.wma;*.m4a;*.aac|MP3 Files (*.mp3)|*.mp3|WAV Files "
    "(*.wav)|*.wav|WMA Files (*.wma)|*.wma|M4A Files (*.m4a)|*.m4a|AAC Files (*.aac)|*.aac|All Files (*.*)|*.*||";
constexpr char kSoundPanelFailed[] =
    "Unable to open microphone properties. Please open Sound settings manually from Windows Control Panel.";
constexpr char kResetQuestion[] =
    "Are you sure you want to reset all settings to factory defaults?\n\nThis will delete all your current settings "
    "including:\n- Recording settings\n- Camera settings\n- Brand settings\n- Schedule settings\n- All other "
    "preferences\n\nThis action cannot be undone. The application will try to restart after resetting.";
constexpr int kFactoryFrameRate = 10;
constexpr int kFactoryCrf = 30;
constexpr int kRestartDelayMs = 500;

}  // namespace

void CMainDlg::ConnectHandlers() {
  connect(ControlAs<QPushButton>(IDC_FOLDER_BUTTON), &QPushButton::clicked, this, &CMainDlg::OnChooseFolder);
  connect(ControlAs<QCheckBox>(IDC_RECORD_AUDIO), &QCheckBox::toggled, this, &CMainDlg::ShowMicrophoneControls);
  connect(ControlAs<QComboBox>(IDC_MICROPHONE), &QComboBox::currentIndexChanged, this, [this](int index) {
    main_.microphone = ControlAs<QComboBox>(IDC_MICROPHONE)->itemText(index).toStdString();
    DebugOutput(Printf("Selected microphone: %s\n", main_.microphone.c_str()));
  });
  connect(ControlAs<QPushButton>(IDC_MIC_PROPERTIES), &QPushButton::clicked, this, &CMainDlg::OnMicrophoneProperties);
  connect(ControlAs<QPushButton>(IDC_SOUND_PANEL), &QPushButton::clicked, this, &CMainDlg::OnSoundPanel);
  connect(ControlAs<QCheckBox>(IDC_INCLUDE_CAMERA), &QCheckBox::clicked, this, [this](bool checked) {
    main_.includeCamera = checked;
    if (IsRecording()) checked ? ShowCameraOverlay() : HideCameraOverlay();
    DebugOutput(Printf("Include camera: %s\n", checked ? "Yes" : "No"));
  });
  connect(ControlAs<QRadioButton>(IDC_CIRCLE), &QRadioButton::clicked, this, [this] {
    main_.cameraShape = 0;
    if (IsRecording()) UpdateCameraOverlay();
    DebugOutput("Camera area shape: Circle\n");
  });
  connect(ControlAs<QRadioButton>(IDC_SQUARE), &QRadioButton::clicked, this, [this] {
    main_.cameraShape = 1;
    if (IsRecording()) UpdateCameraOverlay();
    DebugOutput("Camera area shape: Square\n");
  });
  auto* size = ControlAs<QLineEdit>(IDC_CAMERA_SIZE);
  connect(size, &QLineEdit::textEdited, this, [this](const QString& text) {
    main_.cameraSize = LeadingNumber(text.toStdString());
    if (IsRecording()) UpdateCameraOverlay();
    DebugOutput(Printf("Camera size: %d\n", main_.cameraSize));
  });
  size->installEventFilter(this);
  connect(ControlAs<QComboBox>(IDC_CAMERA), &QComboBox::currentIndexChanged, this, [this](int index) {
    main_.camera = ControlAs<QComboBox>(IDC_CAMERA)->itemText(index).toStdString();
    if (IsRecording()) UpdateCameraOverlay();
    DebugOutput(Printf("Selected camera: %s\n", main_.camera.c_str()));
  });
  connect(ControlAs<QComboBox>(IDC_PLACEMENT), &QComboBox::currentIndexChanged, this, [this](int index) {
    main_.cameraPlacement = ControlAs<QComboBox>(IDC_PLACEMENT)->itemText(index).toStdString();
    if (IsRecording()) UpdateCameraOverlay();
    DebugOutput(Printf("Camera placement: %s\n", main_.cameraPlacement.c_str()));
  });
  connect(ControlAs<QPushButton>(IDC_CAMERA_PROPERTIES), &QPushButton::clicked, this, &CMainDlg::OnCameraProperties);
  connect(ControlAs<QCheckBox>(IDC_DATE_FOLDERS), &QCheckBox::toggled, this, &CMainDlg::UpdateDateControls);
  connect(ControlAs<QComboBox>(IDC_DATE_FORMAT), &QComboBox::currentIndexChanged, this, &CMainDlg::UpdateDateExample);
  connect(ControlAs<QCheckBox>(IDC_ADVANCED), &QCheckBox::clicked, this, &CMainDlg::OnAdvancedOptions);
  connect(ControlAs<QCheckBox>(IDC_STREAMING), &QCheckBox::clicked, this, &CMainDlg::OnEnableStreaming);
  connect(ControlAs<QPushButton>(IDC_SERVERS), &QPushButton::clicked, this, &CMainDlg::OnStreamingServers);
  connect(ControlAs<QCheckBox>(IDC_MUSIC), &QCheckBox::clicked, this, &CMainDlg::OnEnableMusic);
  connect(ControlAs<QPushButton>(IDC_MUSIC_BUTTON), &QPushButton::clicked, this, &CMainDlg::OnChooseMusic);
  connect(ControlAs<QCheckBox>(IDC_PLAYBACK), &QCheckBox::clicked, this, &CMainDlg::OnPlayback);
  connect(ControlAs<QSlider>(IDC_VOLUME), &QSlider::valueChanged, this, &CMainDlg::OnVolumeMoved);
  connect(ControlAs<QPushButton>(IDC_START_STOP), &QPushButton::clicked, this, &CMainDlg::OnStartStop);
  connect(ControlAs<QPushButton>(IDC_ABOUT), &QPushButton::clicked, this, &CMainDlg::OnAbout);
  connect(ControlAs<QPushButton>(IDC_CLOSE), &QPushButton::clicked, this, &QWidget::hide);
  for (int id : {IDC_SIDE_PICTURE, IDC_BANNER})
    connect(ControlAs<CClickablePicture>(id), &CClickablePicture::clicked, this, &CMainDlg::OnVisitWebsite);
  // Mouse presses anywhere in the window tell a click activation from another.
  qApp->installEventFilter(this);
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Control(IDC_CAMERA_SIZE) && event->type() == QEvent::FocusOut) OnCameraSizeFocusLost();
  if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
      static_cast<QWidget*>(watched)->window() == this)
    lastMousePressMs_ = SteadyMs();
  return QMainWindow::eventFilter(watched, event);
}

void CMainDlg::OnChooseFolder() {
  auto* folder = ControlAs<QLineEdit>(IDC_FOLDER_EDIT);
  if (const auto chosen = services_.prompts.PickFolder("Select the output folder", folder->text().toStdString()))
    folder->setText(QString::fromStdString(*chosen));
}

void CMainDlg::OnMicrophoneProperties() {
  if (ControlAs<QComboBox>(IDC_MICROPHONE)->currentText().isEmpty()) {
    services_.prompts.Tell(kProgramName, "Please select a microphone first.", Icon::Information);
    return;
  }
  // The status says the tool opened only when one really did.
  if (!OpenSoundControlPanel(services_.launcher)) services_.prompts.Tell(kProgramName, kSoundPanelFailed, Icon::Warning);
  else SetPaneText(0, "Microphone properties opened");
}

void CMainDlg::OnSoundPanel() {
  if (!OpenSoundControlPanel(services_.launcher)) services_.prompts.Tell(kProgramName, kSoundPanelFailed, Icon::Warning);
}

void CMainDlg::OnCameraSizeFocusLost() {
  const int size = LeadingNumber(ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->text().toStdString());
  main_.cameraSize = size;
  const auto kept = ControlAs<QCheckBox>(IDC_INCLUDE_CAMERA)->isChecked() ? KeepCameraSizeIfConfirmed() : std::nullopt;
  if (kept)
    DebugOutput(*kept ? "User confirmed small camera size (on focus loss)\n"
                      : "Camera size reset to 150 pixels (on focus loss)\n");
  DebugOutput(Printf("Camera size validated on focus loss: %d\n", main_.cameraSize));
}

void CMainDlg::OnAdvancedOptions() {
  PullControls();
  ShowAdvancedControls(main_.showAdvanced);
  UpdateMusicControls(true);
  SaveMainSettings();
}

void CMainDlg::OnEnableStreaming() {
  PullControls();
  SaveMainSettings();
}

void CMainDlg::OnEnableMusic() {
  PullControls();
  UpdateMusicControls(false);
  SaveMainSettings();
}

void CMainDlg::OnChooseMusic() {
  const auto chosen = services_.prompts.PickOpenFile(kMusicFilter, "mp3");
  if (!chosen) return;
  PullControls();
  music_.filePath = *chosen;
  PushFields();
  SaveMainSettings();
}

void CMainDlg::OnPlayback() {
  PullControls();
  SaveMusicSettings(settings_, music_);
}

void CMainDlg::OnVolumeMoved(int position) {
  if (position == music_.volume) return;  // pushed from the fields, not moved
  music_.volume = position;
  ControlAs<QLineEdit>(IDC_VOLUME_TEXT)->setText(QString::fromStdString(Printf("%d%%", position)));
  SaveMainSettings();
  if (music_.enabled && IsRecording()) services_.engine.SetMusicVolume(position);
}

void CMainDlg::OnStreamingServers() {
  CStreamingSettingsDlg dialog(services_.store, services_.prompts, this);
  if (dialog.exec() == QDialog::Accepted) main_.servers = ReadStreamingServers(services_.store);
}

void CMainDlg::OnCameraProperties() {
  const QString camera = ControlAs<QComboBox>(IDC_CAMERA)->currentText();
  if (camera.isEmpty()) {
    services_.prompts.Tell(kProgramName, "Please select a camera first.", Icon::Information);
    return;
  }
  const auto device = services_.cameras.FindCamera(camera.toStdString());
  if (!device) {
    services_.prompts.Tell(kProgramName,
                           "Unable to find the selected camera. Please ensure the camera is connected and try again.",
                           Icon::Warning);
    return;
  }
  const CameraControlList list = services_.cameras.ReadControls(*device);
  if (list.status == CameraControlList::Status::CannotOpen) {
    services_.prompts.Tell(kProgramName,
                           "Unable to access camera properties. This camera may not support DirectShow property pages.",
                           Icon::Warning);
  } else if (list.status == CameraControlList::Status::Failed) {
    services_.prompts.Tell(kProgramName, Printf("Failed to open camera properties dialog. Error code: 0x%08X", list.errorCode),
                           Icon::Warning);
  } else if (list.controls.empty()) {
    services_.prompts.Tell(kProgramName,
                           "This camera does not support property pages. Please use Windows Camera Settings instead.",
                           Icon::Information);
  } else {
    SetPaneText(0, "Camera properties dialog opened");
    CCameraPropertiesDlg dialog(camera, services_.cameras, *device, list.controls, this);
    dialog.exec();
  }
}

void CMainDlg::PrepareSetupMenu() {
  QAction* logs = Command(ID_VIEW_LOGS);
  const bool present = setupMenu_->actions().contains(logs);
  if (!eventLog_.enabled) {
    if (present) setupMenu_->removeAction(logs);
  } else if (!present) {
    const QList<QAction*> items = setupMenu_->actions();
    const qsizetype defaults = items.indexOf(Command(ID_DEFAULT_SETTINGS));
    QAction* next = defaults + 1 < items.size() ? items[defaults + 1] : nullptr;
    if (!next || !next->isSeparator()) {
      QAction* separator = new QAction(setupMenu_);
      separator->setSeparator(true);
      setupMenu_->insertAction(next, separator);
      next = separator;
    }
    const qsizetype at = setupMenu_->actions().indexOf(next);
    QAction* after = at + 1 < setupMenu_->actions().size() ? setupMenu_->actions()[at + 1] : nullptr;
    setupMenu_->insertAction(after, logs);
  }
  logs->setEnabled(eventLog_.enabled);
}

void CMainDlg::OnViewLogs() {
  CEventLogViewerDlg viewer(services_.store, services_.prompts, this);
  viewer.exec();
}

void CMainDlg::OnDefaultSettings() {
  CDefaultSettingsDlg dialog(services_.store, services_.prompts, static_cast<DefaultSettingsHost&>(*this),
                             services_.programPath, this);
  if (dialog.exec() != QDialog::Accepted) return;
  defaults_ = LoadRecordingDefaults(settings_);
  UpdateToolbarAfterSettings();
}

void CMainDlg::ApplyEncoderDefaults(int fps, int crf) {
  services_.engine.SetFrameRate(fps);
  services_.engine.SetCrf(crf);
}

void CMainDlg::OnVisitWebsite() { services_.launcher.Open(kProductWebSite); }

void CMainDlg::OnAbout() {
  CAboutDlg about(QString::fromStdString(AboutVersionLine(ProgramFileVersion())), [this] { OnVisitWebsite(); }, this);
  about.exec();
}

void CMainDlg::OnExit() {
  if (!services_.prompts.Ask("Exit Confirmation", Printf("Are you sure you want to exit %s?", kProductName),
                             Icon::Question, true))
    return;
  if (hotkeys_) hotkeys_->Unregister();
  StopAndWaitForFile();
  CloseForGood();
}

void CMainDlg::OnResetToFactoryDefaults() {
  if (!services_.prompts.Ask("Reset to Factory Defaults", kResetQuestion, Icon::Warning, true)) return;
  // Stopped first: nothing the stop writes may survive the reset.
  StopAndWaitForFile();
  DeleteAllSettings(services_.store);
  services_.engine.SetFrameRate(kFactoryFrameRate);
  services_.engine.SetCrf(kFactoryCrf);
  ReleaseForNewInstance();
  services_.launcher.StartProgram(services_.programPath, {});
  QTimer::singleShot(kRestartDelayMs, this, &CMainDlg::CloseForGood);
}
