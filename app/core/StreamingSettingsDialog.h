// "Customize Streaming Servers": add, modify and remove the RTMP servers.
#pragma once

#include <QDialog>
#include <vector>

#include "core/StreamingServers.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvex {
class RegistryStore;
class UserPrompts;
}  // namespace orvex

class CStreamingSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  CStreamingSettingsDlg(orvex::RegistryStore& store, orvex::UserPrompts& prompts, QWidget* parent = nullptr);
  Q_DISABLE_COPY_MOVE(CStreamingSettingsDlg)

  void OnAdd();
  void OnModify();
  void OnRemove();
  // Stores the working list and closes with OK.
  void OnOk();
  void SelectRow(int row);

  const std::vector<orvex::StreamingServer>& servers() const { return servers_; }
  int selected() const { return selected_; }
  QTreeWidget* list() const { return list_; }
  QLineEdit* nameEdit() const { return name_; }
  QLineEdit* urlEdit() const { return url_; }
  QLineEdit* keyEdit() const { return key_; }
  QCheckBox* enableBox() const { return enable_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* closeButton() const { return close_; }

 private:
  void Fill();
  void ClearFields();
  bool FieldsAcceptable(orvex::StreamingServer& entry);
  void OnItemChanged(QTreeWidgetItem* item, int column);

  orvex::RegistryStore& store_;
  orvex::UserPrompts& prompts_;
  std::vector<orvex::StreamingServer> servers_;
  int selected_ = -1;
  QTreeWidget* list_;
  QLineEdit* name_;
  QLineEdit* url_;
  QLineEdit* key_;
  QCheckBox* enable_;
  QPushButton* ok_;
  QPushButton* close_;
};
