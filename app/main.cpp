// OrvexLite: the desktop recorder's window.
#include <QApplication>

#include "core/RealServices.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("OrvexLite");
  orvex::RealServices services;
  CMainDlg window(services.ForWindow(QApplication::applicationFilePath().toStdString()));
  QObject::connect(&window, &CMainDlg::closedForGood, &application, &QApplication::quit);
  window.show();
  return application.exec();
}
