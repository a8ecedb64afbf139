// "View Event Logs": the logged events, filtered by type and by days.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "features/EventLog.h"

class QComboBox;
class QDateEdit;
class QPushButton;
class QTableWidget;
class CCustomColorButton;

namespace orvex {
class RegistryStore;
class UserPrompts;
}  // namespace orvex

class CEventLogViewerDlg : public QDialog {
  Q_OBJECT

 public:
  // The dialog makes and initialises an event log of its own.
  CEventLogViewerDlg(orvex::RegistryStore& store, orvex::UserPrompts& prompts, QWidget* parent = nullptr);
  ~CEventLogViewerDlg() override;
  Q_DISABLE_COPY_MOVE(CEventLogViewerDlg)

  // Re-reads every log file and lists what passes the filters.
  void Refresh();
  void ClearFilter();
  void OpenRow(int row);
  void ClearAll();

  // How a file is opened (the desktop's default application by default).
  std::function<void(const std::string&)> openFile;

  QComboBox* typeList() const { return typeList_; }
  QDateEdit* fromDate() const { return from_; }
  QDateEdit* toDate() const { return to_; }
  QTableWidget* table() const { return table_; }
  CCustomColorButton* clearAllButton() const { return clearAll_; }
  QPushButton* filterButton() const { return filter_; }
  orvex::EventLog* log() const { return log_.get(); }

 private:
  std::unique_ptr<orvex::EventLog> log_;
  orvex::UserPrompts& prompts_;
  QComboBox* typeList_;
  QDateEdit* from_;
  QDateEdit* to_;
  QPushButton* filter_;
  QPushButton* clearFilter_;
  QTableWidget* table_;
  QPushButton* close_;
  CCustomColorButton* clearAll_;
};
