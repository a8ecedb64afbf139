// OrvexLite: one instance per user; a second start shows the first's window.
#include <QApplication>

#include "core/Product.h"
#include "core/RealServices.h"

namespace {

constexpr int kAnswerTimeoutMs = 2000;

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("OrvexLite");
  orvex::RealServices services;
  if (!services.instance.Acquire()) {
    if (!services.instance.AskFirstToShow(kAnswerTimeoutMs))
      services.prompts.Tell("Single Instance", std::string(orvex::kProductName) + " is already running.",
                            orvex::UserPrompts::Icon::Information);
    return 0;
  }
  // The store holds stream keys: one an earlier version left readable by
  // others is narrowed before anything reads it.
  services.store.NarrowToOwner();
  std::vector<std::string> arguments;
  for (const QString& argument : QApplication::arguments().mid(1)) arguments.push_back(argument.toStdString());
  CMainDlg window(services.ForWindow(QApplication::applicationFilePath().toStdString(), arguments));
  QObject::connect(&window, &CMainDlg::closedForGood, &application, &QApplication::quit);
  services.instance.Listen([&window] { window.ShowFromOtherInstance(); });
  if (!window.startHidden()) window.show();
  application.exec();
  return 0;
}
