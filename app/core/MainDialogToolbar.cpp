// The main window's side of the floating recording controls.
#include "core/MainDialog.h"
#include "features/RecordingControlsToolbarDialog.h"
#include "platform/DebugChannel.h"

using namespace orvex;

bool CMainDlg::MakeToolbar() {
  auto toolbar = std::make_unique<CRecordingControlsToolbarDlg>(static_cast<ToolbarHost&>(*this), IsRecording(),
                                                                controller_->paused());
  // The window exists once the display has it; without one there is no
  // toolbar until the next stop or settings OK tries again.
  toolbar->winId();
  if (!toolbar->windowHandle()) {
    DebugOutput("Failed to create recording controls toolbar dialog\n");
    return false;
  }
  toolbar_ = std::move(toolbar);
  ApplyToolbarShowRule();
  return true;
}

void CMainDlg::ApplyToolbarShowRule() {
  const bool recording = IsRecording(), paused = controller_->paused();
  toolbar_->UpdateButtons(recording, paused);
  if (ToolbarMayShow(recording, paused)) {
    toolbar_->ShowToolbar();
    DebugOutput("Recording controls toolbar: Shown (not recording or paused)\n");
  } else {
    if (toolbar_->shown()) toolbar_->HideToolbar();
    DebugOutput("Recording controls toolbar: Hidden because recording is active\n");
  }
}

void CMainDlg::UpdateToolbarAfterSettings() {
  if (settings_.ReadFlag("ShowRecordingControlsOnDesktop")) {
    if (!toolbar_) MakeToolbar();
    else ApplyToolbarShowRule();
  } else if (toolbar_ && toolbar_->shown()) {
    toolbar_->HideToolbar();
  }
}

void CMainDlg::UpdateToolbar(bool recording, bool paused) {
  if (!toolbar_) return;
  toolbar_->UpdateButtons(recording, paused);
  if (recording && !paused) {
    if (toolbar_->shown()) toolbar_->HideToolbar();
  } else if (paused) {
    toolbar_->ShowToolbar();
  }
}

void CMainDlg::ShowToolbarAfterStop() {
  if (!settings_.ReadFlag("ShowRecordingControlsOnDesktop")) return;
  if (!toolbar_ && !MakeToolbar()) return;
  toolbar_->UpdateButtons(false, false);
  toolbar_->ShowToolbar();
}

// Without the Start/Stop button's checks, as the tray's Start.
void CMainDlg::OnToolbarStartStop() {
  if (IsRecording()) {
    controller_->StopRecording();
    return;
  }
  if (settings_.ReadFlag("MinimizeToTray")) hide();
  controller_->BeginRecording();
}

void CMainDlg::OnToolbarPauseResume() {
  if (controller_->paused() && settings_.ReadFlag("MinimizeToTray")) hide();
  controller_->TogglePause();
}

void CMainDlg::OnToolbarSettings() { show(); }
