// OrvexLite: the desktop recorder's window.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#include "capmill/capmill.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("OrvexLite");
  QMainWindow window;
  window.setWindowTitle("Orvex");
  window.setCentralWidget(new QLabel(window.tr("Ready"), &window));
  window.statusBar()->showMessage(QString::fromStdString(qelGetDefaultAudioDeviceNameAsString()));
  window.resize(640, 480);
  window.show();
  return application.exec();
}
