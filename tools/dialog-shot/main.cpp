// Shows one of the application's windows on the current display and saves a
// picture of it, for reviewing windows without a person at the screen.
//   dialog-shot streaming-servers|event-log-viewer|schedule-recording|brand-settings|main-window OUT.png
//   dialog-shot camera-overlay|camera-card|camera-preview OUT.png   (a test-pattern camera; the card)
//   dialog-shot default-settings OUT.png   (auto-save on, OneDrive)
//   dialog-shot recent-files OUT.png       (three long paths)
//   dialog-shot toolbar|toolbar-paused OUT.png   (the recording controls idle, and during a pause)
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/RealServices.h"
#include "core/StreamingSettingsDialog.h"
#include "features/BrandSettingsDialog.h"
#include "features/CameraOverlayDialog.h"
#include "features/CameraPreviewDialog.h"
#include "features/DefaultSettingsDialog.h"
#include "features/EventLogViewerDialog.h"
#include "features/RecentFilesSelectDialog.h"
#include "features/RecordingControlsToolbarDialog.h"
#include "platform/CameraFeed.h"
#include "features/ScheduleDialog.h"

namespace {

constexpr char kTestCamera[] = "lavfi:testsrc2=size=640x480:rate=15";

// No recording runs while the picture is taken.
struct IdleHost : orvex::PreviewHost {
  bool IsRecording() const override { return false; }
  bool RecordingPaused() const override { return false; }
  void PostPauseCommand() override {}
  void RaiseBrandOverlay(const char*) override {}
};

struct NoWindow : orvex::DefaultSettingsHost {
  void SetSeparateFilesFlag(bool) override {}
  void ReloadLoggingSwitch() override {}
  void LogEvent(orvex::EventType, const std::string&, const std::string&) override {}
  void ApplyEncoderDefaults(int, int) override {}
  void OpenEventLogViewer() override {}
};

struct IdleToolbarHost : orvex::ToolbarHost {
  void OnToolbarStartStop() override {}
  void OnToolbarPauseResume() override {}
  void OnToolbarSettings() override {}
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: dialog-shot streaming-servers|event-log-viewer|schedule-recording|brand-settings|main-window|"
                 "camera-overlay|camera-card|camera-preview|default-settings|recent-files|toolbar|toolbar-paused OUT.png\n");
    return 2;
  }
  const QString which = argv[1], out = argv[2];
  orvex::RealServices services;
  IdleHost host;
  IdleToolbarHost toolbarHost;
  NoWindow noWindow;
  const auto feed = [] { return std::make_unique<orvex::FfmpegCameraFeed>(); };
  std::unique_ptr<QWidget> window;
  if (which == "streaming-servers") {
    window = std::make_unique<CStreamingSettingsDlg>(services.store, services.prompts);
  } else if (which == "event-log-viewer") {
    window = std::make_unique<CEventLogViewerDlg>(services.store, services.prompts);
  } else if (which == "brand-settings") {
    window = std::make_unique<CBrandSettingsDlg>(services.store, services.prompts);
  } else if (which == "schedule-recording") {
    window = std::make_unique<CScheduleRecordingDlg>(services.store, services.prompts);
  } else if (which == "main-window") {
    window = std::make_unique<CMainDlg>(services.ForWindow(argv[0]));
  } else if (which == "camera-overlay" || which == "camera-card") {
    // The card: a camera that is not there.
    auto overlay = std::make_unique<CCameraOverlayDlg>(feed);
    overlay->SetCameraProperties(which == "camera-card" ? "USB Camera HD" : kTestCamera, 240, 1, 8);
    overlay->StartCapture();
    overlay->ShowOverlay();
    window = std::move(overlay);
  } else if (which == "camera-preview") {
    auto preview = std::make_unique<CCameraPreviewDlg>(
        host, std::vector<std::string>{kTestCamera, "USB Camera HD"}, kTestCamera, feed);
    preview->setAttribute(Qt::WA_DeleteOnClose, false);  // owned here
    window = std::move(preview);
  } else if (which == "recent-files") {
    const std::string folder = "/home/ada/Videos/Orvex/Client presentations/2026/December/Quarterly review rehearsal/";
    window = std::make_unique<CRecentFilesSelectDlg>(
        std::vector<std::string>{folder + "Weekly demo_9-12-2026-16-42-7-311.mp4",
                                 folder + "Weekly demo_2-12-2026-16-40-51-902 with the long introduction and the "
                                          "questions from the audience at the end.mp4",
                                 folder + "Weekly demo_25-11-2026-9-3-12-45.mp4"},
        [](const std::string&) {});
  } else if (which == "default-settings") {
    window = std::make_unique<CDefaultSettingsDlg>(services.store, services.prompts, noWindow, argv[0]);
  } else if (which == "toolbar" || which == "toolbar-paused") {
    const bool paused = which == "toolbar-paused";
    auto toolbar = std::make_unique<CRecordingControlsToolbarDlg>(toolbarHost, paused, paused);
    toolbar->ShowToolbar();
    window = std::move(toolbar);
  } else {
    std::fprintf(stderr, "dialog-shot: unknown window '%s'\n", argv[1]);
    return 2;
  }
  window->show();
  // Long enough for the status bar's first CPU figures.
  QTimer::singleShot(2500, [&] {
    // The camera windows as the screen shows them: the overlay's shape clips it.
    const bool onScreen = which.startsWith("camera-") || which.startsWith("toolbar");
    const QRect area = window->frameGeometry();
    const bool saved = (onScreen ? QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                                area.height())
                                 : window->grab())
                           .save(out);
    application.exit(saved ? 0 : 1);
  });
  return application.exec();
}
