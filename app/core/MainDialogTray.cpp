// The window's tray icon, global hotkeys, command line, start with the
// session, and the restart into a new instance.
#include <QApplication>
#include <QTimer>
#include <cerrno>

#include "core/MainDialog.h"
#include "core/Product.h"
#include "core/RecordingEngine.h"
#include "core/SystemTray.h"
#include "platform/DebugChannel.h"
#include "platform/DesktopLauncher.h"
#include "platform/GlobalHotkeys.h"
#include "platform/RegistryStore.h"
#include "platform/SingleInstance.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

constexpr char kMinimizeParameter[] = "StartRecordingMinimize";
constexpr char kStartParameter[] = "StartRecording";
constexpr int kStartTimerMs = 500;
constexpr int kRestartDelayMs = 500;
constexpr int kRestartWaitMs = 30000;
constexpr int kBalloonMs = 10000;

}  // namespace

Notifier& CMainDlg::notifier() { return services_.notifier ? *services_.notifier : static_cast<Notifier&>(*tray_); }

void CMainDlg::ShowFromOtherInstance() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  QApplication::alert(this);
}

void CMainDlg::StartFromBackground() {
  controller_->startedFromBackground = true;
  if (settings_.ReadFlag("MinimizeToTray")) hide();
  controller_->BeginRecording();
}

void CMainDlg::OnTrayCommand(int id) {
  switch (id) {
    case ID_TRAY_START: return StartFromBackground();  // without the button's checks
    case ID_TRAY_STOP: return controller_->StopRecording();
    case ID_TRAY_PAUSE: return controller_->TogglePause();
    case ID_TRAY_SETTINGS: return ShowFromOtherInstance();
    case ID_TRAY_EXIT: return OnExit();
    case ID_TRAY_SHOW_CAMERA: return OnShowCamera();
    default: return;
  }
}

void CMainDlg::OnHotkey(int key) {
  switch (static_cast<GlobalHotkeys::Key>(key)) {
    case GlobalHotkeys::Key::S:
      if (!IsRecording()) return StartFromBackground();
      controller_->StopRecording();
      notifier().ShowBalloon(kProductName, "Recording stopped using keyboard shortcut (Ctrl+Alt+S)",
                             Notifier::Icon::Information, kBalloonMs);
      return;
    case GlobalHotkeys::Key::P:
      if (!IsRecording() || controller_->paused()) return;
      controller_->TogglePause();
      notifier().ShowBalloon(kProductName, "Recording paused using keyboard shortcut (Ctrl+Alt+P)",
                             Notifier::Icon::Information, kBalloonMs);
      return;
    case GlobalHotkeys::Key::R:
      if (IsRecording() && controller_->paused()) controller_->TogglePause();
      return;
    case GlobalHotkeys::Key::C:
      return OnShowCamera();
  }
}

// The parameters are looked for in the arguments only: a folder named
// "StartRecording..." in the program's path must not start anything.
static bool ArgumentsHold(const std::vector<std::string>& arguments, const char* parameter) {
  for (const std::string& argument : arguments)
    if (argument.find(parameter) != std::string::npos) return true;
  return false;
}

void CMainDlg::HandleCommandLine() {
  if (ArgumentsHold(services_.arguments, kMinimizeParameter)) {
    DebugOutput("OnInitDialog: Found StartRecordingMinimize parameter, will minimize and auto-start recording after initialization\n");
    startHidden_ = true;
    hide();
  } else if (ArgumentsHold(services_.arguments, kStartParameter)) {
    DebugOutput("OnInitDialog: Found StartRecording parameter, will auto-start recording after initialization\n");
  } else {
    return;
  }
  QTimer::singleShot(kStartTimerMs, this, &CMainDlg::OnAutoStartTimer);
}

void CMainDlg::OnAutoStartTimer() {
  if (ArgumentsHold(services_.arguments, kMinimizeParameter)) {
    DebugOutput("OnTimer: Auto-starting recording from StartRecordingMinimize parameter (minimized)\n");
    hide();
  } else {
    DebugOutput("OnTimer: Auto-starting recording from StartRecording parameter\n");
  }
  controller_->BeginRecording();  // no checks, no MinimizeToTray
}

void CMainDlg::StartWithWindowsCheck() {
  if (!startWithWindows_ || !services_.store.ReadValue(kRunKey, kProgramName)) return;
  QTimer::singleShot(kStartTimerMs, this, [this] {
    notifier().ShowBalloon(kProductName, "Orvex has started and is running in the system tray.",
                           Notifier::Icon::Information, kBalloonMs);
    hide();
  });
}

void CMainDlg::ReleaseForNewInstance() {
  if (hotkeys_) hotkeys_->Unregister();
  if (tray_) tray_->Remove();
  if (services_.instance) services_.instance->Release();
}

void CMainDlg::RestartApplication() {
  DebugOutput("RestartApplication: Starting application restart for sync fix\n");
  // The previous recording's file is finished before anything else runs.
  if (controller_->AnyWorkerAlive()) controller_->WaitForWorkers(kRestartWaitMs);
  DebugOutput("RestartApplication: Releasing mutex\n");
  const bool background = controller_->startedFromBackground;
  DebugOutput(background ? "RestartApplication: Using StartRecordingMinimize parameter\n"
                         : "RestartApplication: Using StartRecording parameter\n");
  // The new instance must find the hotkeys and the lock free.
  ReleaseForNewInstance();
  errno = 0;
  if (!services_.launcher.StartProgram(services_.programPath, {background ? kMinimizeParameter : kStartParameter})) {
    const int error = errno;
    DebugOutput("RestartApplication: Failed to launch new instance\n");
    services_.prompts.Tell("Restart Error", Printf("Failed to restart application. Error code: %d", error),
                           UserPrompts::Icon::Error);
    return;
  }
  DebugOutput("RestartApplication: New instance launched successfully\n");
  QTimer::singleShot(kRestartDelayMs, this, [this] {
    DebugOutput("RestartApplication: Exiting current instance\n");
    CloseForGood();
  });
}
