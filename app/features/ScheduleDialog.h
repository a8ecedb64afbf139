// "Schedule Recording": the list of recording windows, edited and stored
// under the root key when the user presses OK.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "features/ScheduledRecording.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QTableWidget;

namespace orvex {
class RegistryStore;
class UserPrompts;
}  // namespace orvex

class CScheduleRecordingDlg : public QDialog {
  Q_OBJECT

 public:
  CScheduleRecordingDlg(orvex::RegistryStore& store, orvex::UserPrompts& prompts, QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CScheduleRecordingDlg)

  void OnAdd();
  void OnEdit();
  void OnRemove();
  void OnPlay();
  void OnOk();

  // How a recorded file is opened (the desktop's default application by default).
  std::function<void(const std::string&)> openFile;

  // After OK: "Do not stream with scheduled recording", and by new position
  // the store number each entry had before (-1 for an entry added here).
  bool doNotStream() const { return book_.doNotStream; }
  const std::vector<int>& previousNumbers() const { return previousNumbers_; }
  const orvex::ScheduleBook& book() const { return book_; }

  QCheckBox* enableBox() const { return enable_; }
  QCheckBox* doNotStreamBox() const { return doNotStream_; }
  QTableWidget* list() const { return list_; }
  QDateEdit* datePicker() const { return date_; }
  // 0-2: from hour, minute, AM/PM; 3-5: the same for the to time.
  QComboBox* timeBox(int i) const { return time_[i]; }
  QPushButton* button(const QString& text) const;

 private:
  void AddRow(const orvex::ScheduledRecording& entry);
  void SetRowTexts(int row, const orvex::ScheduledRecording& entry);
  void ResetInputs();
  void ShowTime(int first, const std::string& text, int fallbackMinuteOfDay);
  std::string TimeText(int first) const;
  std::string DateText() const;
  // The date and both times of the inputs, or nothing after telling the user why not.
  bool ValidateInputs(orvex::ScheduledRecording& entry);
  void OnSelectionChanged();
  void OnRowChanged(int row, int column);
  void PlayRow(int row);
  void UpdateEnabledState();

  orvex::RegistryStore& store_;
  orvex::UserPrompts& prompts_;
  orvex::ScheduleBook book_;
  std::vector<int> previousNumbers_;
  int selected_ = -1;  // the remembered selection
  bool filling_ = false;
  QCheckBox* enable_;
  QTableWidget* list_;
  QDateEdit* date_;
  QComboBox* time_[6];
  QCheckBox* doNotStream_;
  std::vector<QPushButton*> listButtons_;
};
