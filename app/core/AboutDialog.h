// "About Orvex": the product name, the version line and a link to the web site.
#pragma once

#include <QDialog>
#include <functional>

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  // openWebSite is called by the "Web" button.
  CAboutDlg(const QString& versionLine, std::function<void()> openWebSite, QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CAboutDlg)
};
