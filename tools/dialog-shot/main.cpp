// Shows one of the application's windows on the current display and saves a
// picture of it, for reviewing windows without a person at the screen.
//   dialog-shot streaming-servers|event-log-viewer|schedule-recording|main-window OUT.png
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/RealServices.h"
#include "core/StreamingSettingsDialog.h"
#include "features/EventLogViewerDialog.h"
#include "features/ScheduleDialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: dialog-shot streaming-servers|event-log-viewer|schedule-recording|main-window OUT.png\n");
    return 2;
  }
  const QString which = argv[1], out = argv[2];
  orvex::RealServices services;
  std::unique_ptr<QWidget> window;
  if (which == "streaming-servers") window = std::make_unique<CStreamingSettingsDlg>(services.store, services.prompts);
  else if (which == "event-log-viewer") window = std::make_unique<CEventLogViewerDlg>(services.store, services.prompts);
  else if (which == "schedule-recording")
    window = std::make_unique<CScheduleRecordingDlg>(services.store, services.prompts);
  else if (which == "main-window") window = std::make_unique<CMainDlg>(services.ForWindow(argv[0]));
  else {
    std::fprintf(stderr, "dialog-shot: unknown window '%s'\n", argv[1]);
    return 2;
  }
  window->show();
  // Long enough for the status bar's first CPU figures.
  QTimer::singleShot(2500, [&] {
    const bool saved = window->grab().save(out);
    application.exit(saved ? 0 : 1);
  });
  return application.exec();
}
