// Shows one of the application's dialogs on the current display and saves a
// picture of it, for reviewing windows without a person at the screen.
//   dialog-shot streaming-servers|event-log-viewer OUT.png
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "core/StreamingSettingsDialog.h"
#include "features/EventLogViewerDialog.h"
#include "platform/RegistryStore.h"
#include "platform/UserPrompts.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: dialog-shot streaming-servers|event-log-viewer OUT.png\n");
    return 2;
  }
  const QString which = argv[1], out = argv[2];
  orvex::RegistryStore store = orvex::RegistryStore::ForCurrentUser();
  std::unique_ptr<QDialog> dialog;
  orvex::MessageBoxPrompts prompts(nullptr);
  if (which == "streaming-servers") dialog = std::make_unique<CStreamingSettingsDlg>(store, prompts);
  else if (which == "event-log-viewer") dialog = std::make_unique<CEventLogViewerDlg>(store, prompts);
  else {
    std::fprintf(stderr, "dialog-shot: unknown dialog '%s'\n", argv[1]);
    return 2;
  }
  dialog->show();
  QTimer::singleShot(500, [&] {
    const bool saved = dialog->grab().save(out);
    application.exit(saved ? 0 : 1);
  });
  return application.exec();
}
