#include "core/MainDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>

#include "core/Product.h"
#include "core/RecordingEngine.h"
#include "core/SystemTray.h"
#include "features/BrandOverlayDialog.h"
#include "features/CameraOverlayDialog.h"
#include "platform/GlobalHotkeys.h"
#include "features/CustomColorButton.h"
#include "platform/DebugChannel.h"
#include "platform/KnownFolders.h"
#include "platform/RegistryStore.h"
#include "platform/SystemTimes.h"

using namespace orvex;

namespace {

constexpr int kDeviceListRoom = 20;
constexpr int kStatsPeriodMs = 2000;
constexpr int kDefaultCameraSize = 200;
constexpr char kDefaultFileName[] = "UntitledRec";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CMainDlg::CMainDlg(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      settings_(services_.store),
      eventLog_(services_.store),
      sleepPrevention_(KeepAwakeOf(services_)) {
  // The window hides to the tray: closing a message box while it is hidden
  // must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  eventLog_.Initialize();
  // Balloons go to the tray icon, which exists once OnInitDialog has run.
  controller_ = std::make_unique<RecordingController>(static_cast<RecordingHost&>(*this), services_.engine, services_.store,
                                                      balloons_);
  BuildControls();
  BuildMenus();
  BuildStatusBar();
  OnInitDialog();
  ConnectHandlers();
}

CMainDlg::~CMainDlg() {
  // Cloud copies give up their waits and end before anything they use goes.
  cloudStop_ = true;
  WaitForCloudCopies();
  // The monitor asks the controller whether a recording runs: it goes first.
  monitor_.reset();
  delete preview_.data();
  overlay_.reset();
  brand_.reset();
  toolbar_.reset();
  sleepPrevention_.Release();
  controller_.reset();
  if (hotkeys_) hotkeys_->Unregister();
}

void CMainDlg::OnInitDialog() {
  openFile = [](const std::string& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))); };
  setWindowTitle(kProductName);
  setWindowIcon(QIcon(":/orvex/orvex.png"));
  ControlAs<QLineEdit>(IDC_FILE_NAME)->setText(kDefaultFileName);
  PaintStartStopButton(false);

  tray_ = std::make_unique<CSystemTray>([this] {
    return TrayMenuItems(controller_->trayIdle(), controller_->streamingActive(), services_.engine.IsRecordingPaused());
  });
  connect(tray_.get(), &CSystemTray::commandChosen, this, &CMainDlg::OnTrayCommand);
  connect(tray_.get(), &CSystemTray::doubleClicked, this, &CMainDlg::ShowFromOtherInstance);
  hotkeys_ = MakeGlobalHotkeys();
  hotkeys_->Register([this](GlobalHotkeys::Key key) { OnHotkey(static_cast<int>(key)); });

  FillDeviceList(ControlAs<QComboBox>(IDC_MICROPHONE), false, main_.microphone);
  FillDeviceList(ControlAs<QComboBox>(IDC_CAMERA), true, main_.camera);

  auto* placement = ControlAs<QComboBox>(IDC_PLACEMENT);
  for (const char* name : kCameraPlacements) placement->addItem(name);
  placement->setCurrentIndex(0);
  DebugOutput("Camera placement list populated\n");
  main_.includeCamera = 0;
  main_.cameraShape = 0;
  main_.cameraSize = kDefaultCameraSize;
  main_.cameraPlacement = kCameraPlacements[0];
  ControlAs<QRadioButton>(IDC_CIRCLE)->setChecked(true);
  ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->setText(QString::number(kDefaultCameraSize));
  DebugOutput("Camera controls initialized with default values\n");

  auto* dateFormats = ControlAs<QComboBox>(IDC_DATE_FORMAT);
  for (const char* format : kDateFormats) dateFormats->addItem(format);

  LoadStartupSettings();
  LoadSchedules();
  UpdateDateControls();

  ControlAs<CCustomColorButton>(IDC_CLOSE)->SetColors(QColor(0, 73, 141), QColor(0, 0, 128), QColor(10, 124, 235),
                                                     Qt::white, QColor(100, 180, 255));
  ControlAs<CCustomColorButton>(IDC_ABOUT)->SetColors(QColor(0, 128, 0), QColor(0, 150, 0), QColor(0, 100, 0),
                                                     Qt::white, QColor(0, 100, 0));
  for (int id : {IDC_CLOSE, IDC_ABOUT}) ControlAs<CCustomColorButton>(id)->SetButtonFont(font());

  OnAdvancedOptions();

  auto* slider = ControlAs<QSlider>(IDC_VOLUME);
  slider->setRange(0, 100);
  slider->setTickInterval(10);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setValue(music_.volume);
  ControlAs<QLineEdit>(IDC_VOLUME_TEXT)->setText(Q(Printf("%d%%", music_.volume)));

  SetPaneText(0, "Ready");
  SetPaneText(1, "");
  SetPaneText(2, "CPU: App --% | Total --% | RAM: --%");
  SetPaneText(3, "Streaming: Disabled");

  // Recordings a crash or a power loss cut off are finished before anything
  // else can record.
  for (const std::string& path : services_.engine.RecoverUnfinishedRecordings()) {
    LogEvent(Info, "Recovered an unfinished recording", path);
    SetStatusPane(1, "Recovered an unfinished recording: " + path);
  }

  statsTimer_ = new QTimer(this);
  statsTimer_->setInterval(kStatsPeriodMs);
  connect(statsTimer_, &QTimer::timeout, this, &CMainDlg::OnTimer1);
  statsTimer_->start();

  if (settings_.ReadFlag("ShowRecordingControlsOnDesktop")) MakeToolbar();
  HandleCommandLine();
  ShowMicrophoneControls(ControlAs<QCheckBox>(IDC_RECORD_AUDIO)->isChecked());
  StartWithWindowsCheck();
}

std::vector<std::string> CMainDlg::DeviceNames(bool cameras) const {
  if (cameras && services_.cameraNames) return services_.cameraNames();
  char* names[kDeviceListRoom] = {};
  const int count = cameras ? services_.engine.GetAvailableCameras(names, kDeviceListRoom)
                            : services_.engine.GetAvailableMicrophones(names, kDeviceListRoom);
  std::vector<std::string> found(names, names + std::max(count, 0));
  if (count > 0) services_.engine.FreeDeviceList(names, count);
  return found;
}

void CMainDlg::FillDeviceList(QComboBox* list, bool cameras, std::string& selected) {
  const std::vector<std::string> names = DeviceNames(cameras);
  DebugOutput(Printf(cameras ? "Found %d cameras\n" : "Found %d microphones\n", static_cast<int>(names.size())));
  for (const std::string& name : names) {
    list->addItem(QString::fromStdString(name));
    DebugOutput(std::string(cameras ? "Camera: " : "Microphone: ") + name + "\n");
  }
  if (list->count() > 0) {
    list->setCurrentIndex(0);
    selected = list->itemText(0).toStdString();
  } else {
    selected.clear();
  }
}

void CMainDlg::LoadStartupSettings() {
  MainSettings stored = main_;
  if (!orvex::LoadMainSettings(settings_, stored)) {
    // A first run, or the first start after a factory reset.
    main_.servers = stored.servers;
    main_.folderPath = FirstRunFolder(DocumentsFolder());
    ControlAs<QLineEdit>(IDC_FOLDER_EDIT)->setText(Q(main_.folderPath));
    return;
  }
  main_ = stored;
  ControlAs<QLineEdit>(IDC_FOLDER_EDIT)->setText(Q(main_.folderPath));
  ControlAs<QLineEdit>(IDC_FILE_NAME)->setText(Q(main_.defaultFileName));
  ControlAs<QCheckBox>(IDC_RECORD_AUDIO)->setChecked(main_.recordAudio);
  ControlAs<QCheckBox>(IDC_NEW_FILE)->setChecked(main_.newFilePerRecording);
  ControlAs<QCheckBox>(IDC_DATE_FOLDERS)->setChecked(main_.dateFolders);
  auto* dateFormats = ControlAs<QComboBox>(IDC_DATE_FORMAT);
  const int format = dateFormats->findText(Q(main_.dateFormat.empty() ? kDateFormats[0] : main_.dateFormat));
  dateFormats->setCurrentIndex(format >= 0 ? format : 0);
  main_.dateFormat = dateFormats->currentText().toStdString();
  UpdateDateExample();

  SelectStoredDevice(ControlAs<QComboBox>(IDC_MICROPHONE), main_.microphone);
  SelectStoredDevice(ControlAs<QComboBox>(IDC_CAMERA), main_.camera);
  auto* placement = ControlAs<QComboBox>(IDC_PLACEMENT);
  const int place = placement->findText(Q(main_.cameraPlacement));
  placement->setCurrentIndex(place >= 0 ? place : 0);
  main_.cameraPlacement = placement->currentText().toStdString();

  music_ = orvex::LoadMusicSettings(settings_);
  defaults_ = orvex::LoadRecordingDefaults(settings_);
  cloud_ = orvex::LoadCloudSettings(settings_);
  dateFolderFlag_ = main_.dateFolders || settings_.ReadFlag("RecordInDateFolders");
  startWithWindows_ = settings_.ReadFlag("AutomaticStart");
  ReloadLoggingSwitch();
  LogEvent(ApplicationStarted, "Application started", "");

  PushFields();
  UpdateMusicControls(false);
  if (music_.filePath.empty()) ControlAs<QLineEdit>(IDC_MUSIC_FILE)->clear();
}

void CMainDlg::SelectStoredDevice(QComboBox* list, std::string& field) {
  std::vector<std::string> entries;
  for (int i = 0; i < list->count(); ++i) entries.push_back(list->itemText(i).toStdString());
  const int entry = FindDeviceEntry(entries, field);
  if (entry < 0) return;  // the first entry stays selected; the stored name is kept
  list->setCurrentIndex(entry);
  field = entries[entry];
}

void CMainDlg::PullControls() {
  main_.folderPath = ControlAs<QLineEdit>(IDC_FOLDER_EDIT)->text().toStdString();
  main_.defaultFileName = ControlAs<QLineEdit>(IDC_FILE_NAME)->text().toStdString();
  main_.recordAudio = ControlAs<QCheckBox>(IDC_RECORD_AUDIO)->isChecked();
  main_.newFilePerRecording = ControlAs<QCheckBox>(IDC_NEW_FILE)->isChecked();
  main_.dateFolders = ControlAs<QCheckBox>(IDC_DATE_FOLDERS)->isChecked();
  main_.includeCamera = ControlAs<QCheckBox>(IDC_INCLUDE_CAMERA)->isChecked();
  main_.cameraShape = ControlAs<QRadioButton>(IDC_SQUARE)->isChecked() ? 1 : 0;
  main_.cameraSize = LeadingNumber(ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->text().toStdString());
  main_.showAdvanced = ControlAs<QCheckBox>(IDC_ADVANCED)->isChecked();
  main_.enableStreaming = ControlAs<QCheckBox>(IDC_STREAMING)->isChecked();
  music_.enabled = ControlAs<QCheckBox>(IDC_MUSIC)->isChecked();
  music_.playToDefaultDevice = ControlAs<QCheckBox>(IDC_PLAYBACK)->isChecked();
  music_.filePath = ControlAs<QLineEdit>(IDC_MUSIC_FILE)->text().toStdString();
  // The volume field follows the slider's own handler, not the pull.
}

void CMainDlg::PushFields() {
  ControlAs<QLineEdit>(IDC_FOLDER_EDIT)->setText(Q(main_.folderPath));
  ControlAs<QLineEdit>(IDC_FILE_NAME)->setText(Q(main_.defaultFileName));
  ControlAs<QCheckBox>(IDC_RECORD_AUDIO)->setChecked(main_.recordAudio);
  ControlAs<QCheckBox>(IDC_NEW_FILE)->setChecked(main_.newFilePerRecording);
  ControlAs<QCheckBox>(IDC_DATE_FOLDERS)->setChecked(main_.dateFolders);
  ControlAs<QCheckBox>(IDC_INCLUDE_CAMERA)->setChecked(main_.includeCamera);
  ControlAs<QRadioButton>(main_.cameraShape == 1 ? IDC_SQUARE : IDC_CIRCLE)->setChecked(true);
  ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->setText(QString::number(main_.cameraSize));
  ControlAs<QCheckBox>(IDC_ADVANCED)->setChecked(main_.showAdvanced);
  ControlAs<QCheckBox>(IDC_STREAMING)->setChecked(main_.enableStreaming);
  ControlAs<QCheckBox>(IDC_MUSIC)->setChecked(music_.enabled);
  ControlAs<QCheckBox>(IDC_PLAYBACK)->setChecked(music_.playToDefaultDevice);
  ControlAs<QLineEdit>(IDC_MUSIC_FILE)->setText(Q(music_.filePath));
  ControlAs<QSlider>(IDC_VOLUME)->setValue(music_.volume);
}

void CMainDlg::SaveMainSettings() {
  PullControls();
  MainSettings fresh = main_;
  const QComboBox* dateFormats = ControlAs<QComboBox>(IDC_DATE_FORMAT);
  fresh.dateFormat = dateFormats->currentIndex() >= 0 ? dateFormats->currentText().toStdString() : kDateFormats[0];
  orvex::SaveMainSettings(settings_, fresh, music_);
}

void CMainDlg::UpdateMusicControls(bool keepMusicText) {
  const MusicControlState state =
      MusicControls(music_.enabled, main_.showAdvanced, IsRecording(), music_.filePath, music_.volume, keepMusicText);
  Control(IDC_MUSIC_FILE)->setEnabled(state.fileEnabled);
  Control(IDC_MUSIC_BUTTON)->setEnabled(state.fileEnabled);
  Control(IDC_VOLUME)->setEnabled(state.volumeEnabled);
  Control(IDC_VOLUME_TEXT)->setEnabled(state.volumeEnabled);
  Control(IDC_PLAYBACK)->setEnabled(state.playbackEnabled);
  Control(IDC_SOUND_PANEL)->setEnabled(state.playbackEnabled);
  if (state.clearPlayback) {
    music_.playToDefaultDevice = false;
    PushFields();
  }
  if (state.fileText) ControlAs<QLineEdit>(IDC_MUSIC_FILE)->setText(Q(*state.fileText));
  ControlAs<QLineEdit>(IDC_VOLUME_TEXT)->setText(Q(state.volumeText));
}

void CMainDlg::UpdateSystemStats() { SetPaneText(2, Q(statsMeter_.Update(services_.systemTimes.Read()))); }

void CMainDlg::ReloadLoggingSwitch() {
  if (const auto value = settings_.ReadText("LoggingEnabled")) eventLog_.enabled = *value == "TRUE" || *value == "1";
  eventLog_.SaveLoggingEnabled();
}

void CMainDlg::LogEvent(EventType type, const std::string& description, const std::string& details) {
  if (!eventLog_.enabled) {
    DebugOutput("EventLog: Logging is disabled, event not logged\n");
    return;
  }
  eventLog_.LogEvent(type, description, details);
}

bool CMainDlg::IsRecording() const { return controller_ && controller_->IsRecording(); }

void CMainDlg::ShowAdvancedControls(bool shown) {
  static const int kAdvanced[] = {IDC_INCLUDE_CAMERA, IDC_CIRCLE, IDC_SQUARE, IDC_CAMERA_SIZE, IDC_CAMERA_LABEL,
                                  IDC_CAMERA, IDC_PLACEMENT_LABEL, IDC_PLACEMENT, IDC_SIZE_LABEL, IDC_PX_LABEL,
                                  IDC_STREAMING, IDC_SERVERS, IDC_CAMERA_PROPERTIES, IDC_MUSIC, IDC_MUSIC_FILE,
                                  IDC_MUSIC_BUTTON, IDC_VOLUME_LABEL, IDC_VOLUME, IDC_VOLUME_TEXT, IDC_PLAYBACK,
                                  IDC_SOUND_PANEL, IDC_ADVANCED_GROUP};
  for (int id : kAdvanced) Control(id)->setVisible(shown);
  Control(IDC_BANNER)->setVisible(!shown);
}

void CMainDlg::ShowMicrophoneControls(bool shown) {
  for (int id : {IDC_MIC_LABEL, IDC_MICROPHONE, IDC_MIC_PROPERTIES}) Control(id)->setVisible(shown);
}

void CMainDlg::UpdateDateControls() {
  const bool shown = ControlAs<QCheckBox>(IDC_DATE_FOLDERS)->isChecked();
  for (int id : {IDC_DATE_LABEL, IDC_DATE_FORMAT, IDC_DATE_EXAMPLE}) Control(id)->setVisible(shown);
  if (shown) UpdateDateExample();
}

void CMainDlg::UpdateDateExample() {
  const QComboBox* formats = ControlAs<QComboBox>(IDC_DATE_FORMAT);
  const std::string format = formats->currentIndex() >= 0 ? formats->currentText().toStdString() : kDateFormats[0];
  ControlAs<QLabel>(IDC_DATE_EXAMPLE)->setText(Q(DateExample(format)));
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  if (closingForGood_) {
    event->accept();
    emit closedForGood();
    return;
  }
  // The close box only hides the window: the program stays in the tray.
  event->ignore();
  hide();
  LogEvent(ApplicationExited, "Application exited", "");
}

void CMainDlg::CloseForGood() {
  closingForGood_ = true;
  close();
}
