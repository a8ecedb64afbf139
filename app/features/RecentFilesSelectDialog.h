// "Select Video to Play": the recent recordings that still exist, newest
// first. Play (Enter, a double-click) opens the selected one and keeps the
// dialog open; Close or Escape closes it.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

class CRecentFilesSelectDlg : public QDialog {
  Q_OBJECT

 public:
  CRecentFilesSelectDlg(const std::vector<std::string>& files, std::function<void(const std::string&)> openFile,
                        QWidget* parent = nullptr);
  QListWidget* list() const { return list_; }
  QPushButton* playButton() const { return play_; }

 private:
  void PlaySelected();

  std::function<void(const std::string&)> openFile_;
  QListWidget* list_ = nullptr;
  QPushButton* play_ = nullptr;
};
