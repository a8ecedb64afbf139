// The main window: every recording option, the Start/Stop button, the menu
// bar and the four-pane status bar. Rules live in MainWindowRules; this
// class moves values between the controls, the fields and the store.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/MainWindowRules.h"
#include "core/RecordingController.h"
#include "core/Settings.h"
#include "platform/Notifier.h"
#include "features/CameraPreviewDialog.h"
#include "features/DefaultSettingsDialog.h"
#include "features/EventLog.h"
#include "features/RecordingControlsToolbarDialog.h"
#include "features/ScheduleMonitor.h"
#include "features/SleepPrevention.h"

class QAction;
class QComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;
class QTimer;
class CSystemTray;
class CBrandOverlayDlg;
class CCameraOverlayDlg;
class CCameraPreviewDlg;

namespace orvex {
class CameraControls;
class DesktopLauncher;
class GlobalHotkeys;
class KeepAwake;
class Notifier;
class SingleInstance;
class RecordingEngine;
class RegistryStore;
class SystemTimesSource;
class UserPrompts;

// What the window needs from the outside world; tests pass their own.
struct MainWindowServices {
  RegistryStore& store;
  UserPrompts& prompts;
  DesktopLauncher& launcher;
  RecordingEngine& engine;
  SystemTimesSource& systemTimes;
  CameraControls& cameras;
  Notifier* notifier;           // balloons; nothing: the window's own tray icon
  SingleInstance* instance;     // released before a new instance starts; may be nothing
  std::string programPath;      // started again by a restart or the factory reset
  std::vector<std::string> arguments = {};  // the command line, without the program
  KeepAwake* keepAwake = nullptr;      // nothing: every keep-awake request is refused
  int schedulePeriodMs = 30000;        // between two passes of the schedule
  std::function<LocalClockReading()> localClock = nullptr;  // nothing: the local wall clock
  // The cameras the window and the preview offer; nothing: the engine's list.
  std::function<std::vector<std::string>()> cameraNames = nullptr;
};
}  // namespace orvex

// Control ids of the window, as the option table numbers them.
enum MainControlId : int {
  IDC_FOLDER_EDIT = 1000, IDC_FOLDER_BUTTON = 1001, IDC_RECORD_AUDIO = 1002, IDC_MUSIC_FILE = 1003,
  IDC_FILE_NAME = 1004, IDC_MIC_PROPERTIES = 1005, IDC_NEW_FILE = 1006, IDC_CONFIGURE_GROUP = 1007,
  IDC_START_STOP = 1008, IDC_SOUND_PANEL = 1009, IDC_MICROPHONE = 1011, IDC_INCLUDE_CAMERA = 1012,
  IDC_CIRCLE = 1013, IDC_SQUARE = 1014, IDC_CAMERA_SIZE = 1015, IDC_CAMERA = 1016, IDC_PLACEMENT = 1017,
  IDC_CAMERA_LABEL = 1018, IDC_PLACEMENT_LABEL = 1019, IDC_ABOUT = 1025, IDC_MIC_LABEL = 1027,
  IDC_STREAMING = 1035, IDC_ADVANCED = 1036, IDC_ADVANCED_GROUP = 1037, IDC_MUSIC = 1038,
  IDC_STATUS_BAR = 1039, IDC_PLAYBACK = 1040, IDC_DATE_FOLDERS = 1059, IDC_DATE_LABEL = 1060,
  IDC_DATE_FORMAT = 1061, IDC_BANNER = 1097, IDC_SERVERS = 1098, IDC_MUSIC_BUTTON = 1100,
  IDC_VOLUME_LABEL = 1101, IDC_VOLUME = 1102, IDC_VOLUME_TEXT = 1103, IDC_CAMERA_PROPERTIES = 1105,
  IDC_SIZE_LABEL = 1108, IDC_PX_LABEL = 1109, IDC_ADVANCED_CAPTION = 1112, IDC_FILE_NAME_LABEL = 1113,
  IDC_DATE_EXAMPLE = 1115, IDC_SIDE_PICTURE = 1137, IDC_CLOSE = 2,
};

// Menu command ids.
enum MainCommandId : int {
  ID_FILE_EXIT = 1022, ID_HELP_WEBSITE = 1023, ID_HELP_ABOUT = 1024, ID_SHOW_CAMERA = 32780,
  ID_DEFAULT_SETTINGS = 32783, ID_SCHEDULE = 32784, ID_BRAND_SETTINGS = 32786, ID_RESET = 32787,
  ID_VIEW_LOGS = 32788, ID_SNIPPING_TOOL = 32789, ID_PAINT = 32790, ID_PLAY_RECORDED = 32791,
};

class CMainDlg : public QMainWindow,
                 private orvex::RecordingHost,
                 private orvex::PreviewHost,
                 private orvex::ToolbarHost,
                 private orvex::DefaultSettingsHost {
  Q_OBJECT

 public:
  explicit CMainDlg(orvex::MainWindowServices services, QWidget* parent = nullptr);
  ~CMainDlg() override;
  Q_DISABLE_COPY_MOVE(CMainDlg)

  // The control with a dialog id, and the menu command with a command id.
  QWidget* Control(int id) const;
  template <typename T>
  T* ControlAs(int id) const {
    return qobject_cast<T*>(Control(id));
  }
  QAction* Command(int id) const;
  QMenu* setupMenu() const { return setupMenu_; }
  CSystemTray* tray() const { return tray_.get(); }
  orvex::GlobalHotkeys* hotkeys() const { return hotkeys_.get(); }
  // Whether the start-up keeps the window hidden (a minimised command-line start).
  bool startHidden() const { return startHidden_; }
  // A second instance asked for this window.
  void ShowFromOtherInstance();
  void OnTrayCommand(int id);
  void OnHotkey(int key);
  QString PaneText(int pane) const;
  void SetPaneText(int pane, const QString& text);

  // Operations other parts call on the window.
  bool IsRecording() const override;
  orvex::RecordingController& controller() { return *controller_; }
  // The Start/Stop command: button 1008, or posted by the schedule.
  void OnStartStop();
  // The running schedule entry (-1 none) and "Do not stream with scheduled recording".
  void SetScheduleState(int activeScheduleIndex, bool doNotStreamScheduled) {
    activeScheduleIndex_ = activeScheduleIndex;
    doNotStreamScheduled_ = doNotStreamScheduled;
  }
  // The schedule: the list from the store, its monitor and the keep-awake hold.
  void LoadSchedules();
  void StartScheduleMonitor();
  void StopScheduleMonitor();
  // Safe from the monitor thread. The status goes to the entry's own store number.
  void SetScheduleStatus(int index, const std::string& status, const std::string& path);
  void UpdateSleepPrevention();
  void OnScheduleRecording();
  // The camera overlay and the camera preview ("Show Camera").
  void ShowCameraOverlay();
  void UpdateCameraOverlay();
  void HideCameraOverlay();
  void OnShowCamera();
  CCameraOverlayDlg* cameraOverlay() const { return overlay_.get(); }
  CCameraPreviewDlg* cameraPreview() const { return preview_.data(); }
  // The brand overlay and "Brand Settings".
  void ShowBrandOverlay();
  void HideBrandOverlay();
  void OnBrandSettings();
  CBrandOverlayDlg* brandOverlay() const { return brand_.get(); }
  // The floating recording controls; nothing until first made.
  CRecordingControlsToolbarDlg* toolbar() const { return toolbar_.get(); }
  // After the default settings are accepted: the toolbar follows its option.
  void UpdateToolbarAfterSettings();
  // Returns once every cloud copy has ended (tests; the exit stops them).
  void WaitForCloudCopies();
  int activeScheduleIndex() const { return activeScheduleIndex_; }
  bool doNotStreamScheduled() const { return doNotStreamScheduled_; }
  std::vector<orvex::ScheduledRecording> schedules() const;
  bool scheduleMonitorRunning() const { return monitor_ != nullptr; }
  bool sleepPrevented() const { return sleepPrevention_.prevented(); }
  void UpdateMusicControls(bool keepMusicText);
  void UpdateSystemStats() override;
  void ReloadLoggingSwitch();
  void SaveMainSettings() override;
  void PullControls();
  void PushFields();
  orvex::EventLog& eventLog() { return eventLog_; }
  // Logs through the window's event log, or says on the debug channel why not.
  void LogEvent(orvex::EventType type, const std::string& description, const std::string& details) override;

  // Menu commands.
  void OnExit();
  void OnResetToFactoryDefaults();
  void OnAbout();
  void OnVisitWebsite();
  void OnViewLogs();
  // The Tools menu: the recent recordings, a screen snip and a paint program.
  void OnPlayRecordedVideos();
  void OnSnippingTool();
  void OnPaint();
  // Opens a recording with the desktop's player; tests replace it.
  std::function<void(const std::string&)> openFile;
  // "Default Settings"; after OK the recording defaults and the toolbar follow.
  void OnDefaultSettings();
  void OnStreamingServers();
  void OnCameraProperties();
  // The Setup menu's "View Logs" rule, run whenever the menu opens.
  void PrepareSetupMenu();

  const orvex::MainSettings& mainSettings() const { return main_; }
  const orvex::MusicSettings& musicSettings() const { return music_; }
  const orvex::RecordingDefaults& recordingDefaults() const { return defaults_; }
  const orvex::CloudSettings& cloudSettings() const { return cloud_; }

 signals:
  // The window closed for good (exit, reset): the process should end.
  void closedForGood();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The controller's view of the window.
  orvex::RecordingSnapshot TakeSnapshot() override;
  void ConfirmCameraSize() override;
  // Sizes of 1 to 100 are questioned and No sets 150: whether the size was
  // kept, or nothing when no question was needed.
  std::optional<bool> KeepCameraSizeIfConfirmed();
  bool PlaybackTicked() const override;
  bool StreamingTicked() const override;
  void ShowRecordingState(bool recording) override;
  // The Start/Stop button's caption and face colour.
  void PaintStartStopButton(bool recording);
  void SetStatusPane(int pane, const std::string& text) override { SetPaneText(pane, QString::fromStdString(text)); }
  void ApplyRecordingDefaults(const orvex::RecordingDefaults& defaults) override { defaults_ = defaults; }
  bool BookScheduledStop(const std::string& path) override;
  void RememberRecording(const std::string& path) override;
  void ShowOverlaysForRecording(bool recording) override;
  void UpdateToolbar(bool recording, bool paused) override;
  void ShowToolbarAfterStop() override;
  void StartCloudAutoSave(const std::string& path, std::shared_ptr<orvex::RecordingCompletion> recording) override;
  // The Default Settings dialog's view of the window.
  void SetSeparateFilesFlag(bool separate) override { music_.separateAudioVideo = separate; }
  void ApplyEncoderDefaults(int fps, int crf) override;
  void OpenEventLogViewer() override { OnViewLogs(); }
  // The output path options from the fields (pulled from the controls first).
  orvex::OutputPathOptions PathOptions() const;
  // The toolbar's buttons.
  void OnToolbarStartStop() override;
  void OnToolbarPauseResume() override;
  void OnToolbarSettings() override;
  // Makes the toolbar with the window's state; false when it could not be made.
  bool MakeToolbar();
  // Shown while idle or paused, hidden while a recording runs.
  void ApplyToolbarShowRule();
  // The preview's view of the window.
  bool RecordingPaused() const override;
  void PostPauseCommand() override;
  void RaiseBrandOverlay(const char* debugLine) override;
  void OnCameraPreviewClosed();
  void BringBrandAbovePreview();
  bool PreviewShowing() const;
  // Brand on, and not tied to the preview or the preview showing.
  bool BrandShowRuleHolds() const;
  std::vector<std::string> DeviceNames(bool cameras) const;
  // One pass of the monitor, on its thread.
  void RunSchedulePass();
  // The monitor's decisions, re-checked on the user-interface thread: the
  // recording may have ended or started since they were taken.
  void OnScheduledStart(int index, const std::string& statusBefore);
  void OnScheduledStop();
  void SetScheduleStatusLocked(int index, const std::string& status, const std::string& path);
  orvex::LocalClockReading Now() const {
    return services_.localClock ? services_.localClock() : orvex::ReadLocalClock();
  }
  static orvex::KeepAwake& KeepAwakeOf(const orvex::MainWindowServices& services);
  void RestartApplication() override;
  orvex::Notifier& notifier();
  // Gives up what a new instance needs: hotkeys, tray icon, the lock.
  void ReleaseForNewInstance();
  void StartFromBackground();
  void HandleCommandLine();
  void OnAutoStartTimer();
  void StartWithWindowsCheck();
  void OnTimer1();
  void DecidePauseOnActivation();
  // Exit and reset: stop a running recording and wait until its file is complete.
  void StopAndWaitForFile();

  void OnInitDialog();
  void BuildControls();
  void BuildMenus();
  void BuildStatusBar();
  void ConnectHandlers();
  void FillDeviceList(QComboBox* list, bool cameras, std::string& selected);
  void LoadStartupSettings();
  void SelectStoredDevice(QComboBox* list, std::string& field);
  void ShowAdvancedControls(bool shown);
  void ShowMicrophoneControls(bool shown);
  void UpdateDateControls();
  void UpdateDateExample();
  void CloseForGood();

  // Control handlers.
  void OnChooseFolder();
  void OnMicrophoneProperties();
  void OnSoundPanel();
  void OnAdvancedOptions();
  void OnEnableStreaming();
  void OnEnableMusic();
  void OnChooseMusic();
  void OnPlayback();
  void OnVolumeMoved(int position);
  void OnCameraSizeFocusLost();

  orvex::MainWindowServices services_;
  orvex::Settings settings_;
  orvex::EventLog eventLog_;
  orvex::SystemStatsMeter statsMeter_;

  // The fields: working copies of the stored settings.
  orvex::MainSettings main_;
  orvex::MusicSettings music_;
  orvex::RecordingDefaults defaults_;
  orvex::CloudSettings cloud_;
  bool dateFolderFlag_ = false;
  bool startWithWindows_ = false;
  // Read by the monitor thread, the workers and the Start/Stop command.
  std::atomic<int> activeScheduleIndex_{-1};
  std::atomic<bool> doNotStreamScheduled_{false};
  // Guards the list and the started windows for a whole pass.
  mutable std::mutex scheduleLock_;
  std::vector<orvex::ScheduledRecording> schedules_;
  bool schedulingEnabled_ = false;
  orvex::StartedWindows startedWindows_;
  orvex::SleepPrevention sleepPrevention_;
  std::unique_ptr<orvex::ScheduleMonitor> monitor_;
  std::unique_ptr<CCameraOverlayDlg> overlay_;
  QPointer<CCameraPreviewDlg> preview_;
  std::unique_ptr<CBrandOverlayDlg> brand_;
  std::unique_ptr<CRecordingControlsToolbarDlg> toolbar_;
  // Cloud copies of stopped recordings; stopped and joined at exit.
  struct CloudWorker {
    std::thread thread;
    std::atomic<bool> ended{false};
  };
  std::vector<std::unique_ptr<CloudWorker>> cloudWorkers_;
  std::atomic<bool> cloudStop_{false};
  bool closingForGood_ = false;

  std::map<int, QWidget*> controls_;
  std::map<int, QAction*> commands_;
  QMenu* setupMenu_ = nullptr;
  QLabel* panes_[4] = {};
  QTimer* statsTimer_ = nullptr;
  // Steady-clock milliseconds of the last mouse press in the window and of
  // the last activation: a press close to an activation made it a click.
  qint64 lastMousePressMs_ = -1000000;
  qint64 activationMs_ = 0;
  // Hands balloons to notifier(), whichever it is when they are shown.
  struct BalloonForwarder : orvex::Notifier {
    explicit BalloonForwarder(CMainDlg& window) : window(window) {}
    void ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) override {
      window.notifier().ShowBalloon(title, text, icon, timeoutMs);
    }
    CMainDlg& window;
  } balloons_{*this};
  bool startHidden_ = false;
  std::unique_ptr<CSystemTray> tray_;
  std::unique_ptr<orvex::GlobalHotkeys> hotkeys_;
  // Last: destroyed first, while the fields its workers use still exist.
  std::unique_ptr<orvex::RecordingController> controller_;
};
