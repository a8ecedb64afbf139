// The Tools menu and the recent recordings list.
#include <QDesktopServices>
#include <QUrl>
#include <filesystem>

#include "core/MainDialog.h"
#include "core/Product.h"
#include "core/RecentFiles.h"
#include "features/RecentFilesSelectDialog.h"
#include "platform/DesktopLauncher.h"
#include "platform/UserPrompts.h"

using namespace orvex;

void CMainDlg::RememberRecording(const std::string& path) {
  AddRecentFile(services_.store, path, LoadRecordingDefaults(settings_).maxRecentFiles);
}

void CMainDlg::OnPlayRecordedVideos() {
  const std::vector<std::string> recent =
      LoadRecentFiles(services_.store, LoadRecordingDefaults(settings_).maxRecentFiles);
  if (recent.empty()) {
    services_.prompts.Tell(kProgramName, "No recently recorded videos found.", UserPrompts::Icon::Information);
    return;
  }
  // Moved or deleted files stay listed in the store, but are not offered.
  std::vector<std::string> present;
  for (const std::string& path : recent) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored)) present.push_back(path);
  }
  if (present.empty()) {
    services_.prompts.Tell(kProgramName, "No recently recorded videos found. The files may have been moved or deleted.",
                           UserPrompts::Icon::Information);
    return;
  }
  if (present.size() == 1) {
    openFile(present.front());
    return;
  }
  CRecentFilesSelectDlg dialog(present, openFile, this);
  dialog.exec();
}

void CMainDlg::OnSnippingTool() { OpenScreenshotTool(services_.launcher); }

void CMainDlg::OnPaint() { OpenPaintTool(services_.launcher); }
