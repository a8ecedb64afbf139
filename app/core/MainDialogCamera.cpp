// The main window's side of the camera: the overlay it shows while recording
// and the preview window of "Show Camera". Only one of them holds the camera.
#include <QComboBox>

#include "core/MainDialog.h"
#include "core/SystemTray.h"
#include "features/BrandLayout.h"
#include "features/BrandOverlayDialog.h"
#include "features/CameraOverlayDialog.h"
#include "features/CameraPlacement.h"
#include "features/CameraPreviewDialog.h"
#include "platform/CameraFeed.h"
#include "platform/DebugChannel.h"

using namespace orvex;

bool CMainDlg::PreviewShowing() const { return preview_ && preview_->isVisible(); }

void CMainDlg::ShowCameraOverlay() {
  PullControls();
  if (!main_.includeCamera) {
    DebugOutput("Camera overlay not shown - Include Camera is not checked\n");
    return;
  }
  if (main_.camera.empty()) {
    DebugOutput("Camera overlay not shown - No camera selected\n");
    return;
  }
  // The preview holds the camera: a "LIVE" card must not land in the recording.
  if (PreviewShowing()) {
    HideCameraOverlay();
    return;
  }
  if (!overlay_) overlay_ = std::make_unique<CCameraOverlayDlg>([] { return std::make_unique<FfmpegCameraFeed>(); });
  overlay_->SetCameraProperties(main_.camera, main_.cameraSize, main_.cameraShape,
                                CameraPlacementValue(main_.cameraPlacement));
  if (overlay_->shown()) return;
  overlay_->RefreshContent();
  overlay_->StartCapture();
  overlay_->ShowOverlay();
  DebugOutput("Camera overlay shown\n");
}

void CMainDlg::UpdateCameraOverlay() {
  if (!overlay_ || !overlay_->shown()) return;
  PullControls();
  overlay_->SetCameraProperties(main_.camera, main_.cameraSize, main_.cameraShape,
                                CameraPlacementValue(main_.cameraPlacement));
  overlay_->MoveToPlacement();
  overlay_->RefreshContent();
}

void CMainDlg::HideCameraOverlay() {
  if (overlay_) overlay_->HideOverlay();
}

void CMainDlg::ShowOverlaysForRecording(bool recording) {
  if (!recording) {
    HideCameraOverlay();
    HideBrandOverlay();
    return;
  }
  if (PreviewShowing()) {
    HideCameraOverlay();
    DebugOutput("Preview camera window is active, hiding overlay camera window\n");
  } else {
    ShowCameraOverlay();
  }
  if (BrandShowRuleHolds()) ShowBrandOverlay();
}

void CMainDlg::OnShowCamera() {
  HideCameraOverlay();
  if (preview_) {
    preview_->showMaximized();
    preview_->raise();
    preview_->activateWindow();
    DebugOutput("Camera preview dialog already exists, showing it\n");
    BringBrandAbovePreview();
    return;
  }
  auto* preview = new CCameraPreviewDlg(static_cast<PreviewHost&>(*this), DeviceNames(true), main_.camera,
                                        [] { return std::make_unique<FfmpegCameraFeed>(PreviewLogWords()); });
  preview_ = preview;
  connect(preview, &CCameraPreviewDlg::closed, this, &CMainDlg::OnCameraPreviewClosed, Qt::QueuedConnection);
  preview->show();
  DebugOutput("Camera preview dialog created and shown\n");
  BringBrandAbovePreview();
}

void CMainDlg::BringBrandAbovePreview() {
  const BrandValues brand = ReadBrandValues(settings_);
  if (!preview_ || !brand.enabled || !brand.onlyWithPreview || !IsRecording()) return;
  ShowBrandOverlay();
  preview_->activateWindow();
  preview_->raise();
}

void CMainDlg::OnCameraPreviewClosed() {
  preview_.clear();
  DebugOutput("Camera preview dialog pointer cleared\n");
  if (ReadBrandValues(settings_).onlyWithPreview) HideBrandOverlay();
  if (IsRecording()) ShowCameraOverlay();
}

bool CMainDlg::RecordingPaused() const { return controller_->paused(); }

void CMainDlg::PostPauseCommand() {
  QMetaObject::invokeMethod(this, [this] { OnTrayCommand(ID_TRAY_PAUSE); }, Qt::QueuedConnection);
}

// A hidden brand overlay stays hidden: only a showing one is brought up.
void CMainDlg::RaiseBrandOverlay(const char* debugLine) {
  if (!brand_ || !brand_->isVisible()) return;
  brand_->raise();
  DebugOutput(debugLine);
}
