// The main window's side of the brand overlay: shown around recordings and
// with the camera preview by its rule, and the "Brand Settings" dialog.
#include "core/MainDialog.h"
#include "features/BrandLayout.h"
#include "features/BrandOverlayDialog.h"
#include "features/BrandSettingsDialog.h"
#include "platform/DebugChannel.h"

using namespace orvex;

bool CMainDlg::BrandShowRuleHolds() const {
  const BrandValues brand = ReadBrandValues(settings_);
  return brand.enabled && (!brand.onlyWithPreview || PreviewShowing());
}

void CMainDlg::ShowBrandOverlay() {
  const BrandValues brand = ReadBrandValues(settings_);
  if (!brand.enabled) return HideBrandOverlay();
  if (!brand_) brand_ = std::make_unique<CBrandOverlayDlg>();
  brand_->Apply(brand);
  const bool wasHidden = !brand_->isVisible();
  brand_->ShowOverlay();
  if (wasHidden) DebugOutput("Brand overlay shown\n");
}

void CMainDlg::HideBrandOverlay() {
  if (brand_) brand_->HideOverlay();
}

void CMainDlg::OnBrandSettings() {
  CBrandSettingsDlg dialog(services_.store, services_.prompts, this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (IsRecording() && BrandShowRuleHolds()) ShowBrandOverlay();
  else HideBrandOverlay();
}
