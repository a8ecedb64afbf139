#include "core/StreamingSettingsDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/Product.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

CStreamingSettingsDlg::CStreamingSettingsDlg(RegistryStore& store, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), store_(store), prompts_(prompts) {
  setWindowTitle("Customize Streaming Servers");
  list_ = new QTreeWidget(this);
  list_->setColumnCount(3);
  list_->setHeaderLabels({"Server", "RTMP URL", "Key"});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setAllColumnsShowFocus(true);
  list_->setColumnWidth(0, 120);
  list_->setColumnWidth(1, 350);
  list_->setColumnWidth(2, 150);

  auto* add = new QPushButton("Add", this);
  auto* modify = new QPushButton("Modify", this);
  auto* remove = new QPushButton("Remove", this);
  auto* fields = new QGroupBox("Server Settings", this);
  name_ = new QLineEdit(fields);
  url_ = new QLineEdit(fields);
  key_ = new QLineEdit(fields);
  enable_ = new QCheckBox("Enable Server", fields);
  auto* form = new QFormLayout(fields);
  form->addRow("Server:", name_);
  form->addRow("RTMP URL:", url_);
  form->addRow("Key:", key_);
  form->addRow(enable_);
  ok_ = new QPushButton("OK", this);
  close_ = new QPushButton("Close", this);

  auto* editButtons = new QHBoxLayout;
  editButtons->addWidget(add);
  editButtons->addWidget(modify);
  editButtons->addWidget(remove);
  editButtons->addStretch();
  auto* closing = new QHBoxLayout;
  closing->addStretch();
  closing->addWidget(ok_);
  closing->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel("Add | Edit | Remove Streaming Servers", this));
  layout->addWidget(list_);
  layout->addLayout(editButtons);
  layout->addWidget(fields);
  layout->addLayout(closing);
  resize(700, 480);

  connect(add, &QPushButton::clicked, this, &CStreamingSettingsDlg::OnAdd);
  connect(modify, &QPushButton::clicked, this, &CStreamingSettingsDlg::OnModify);
  connect(remove, &QPushButton::clicked, this, &CStreamingSettingsDlg::OnRemove);
  connect(ok_, &QPushButton::clicked, this, &CStreamingSettingsDlg::OnOk);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QTreeWidget::itemChanged, this, &CStreamingSettingsDlg::OnItemChanged);
  connect(list_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* item) { SelectRow(item ? list_->indexOfTopLevelItem(item) : -1); });
  connect(enable_, &QCheckBox::clicked, this, [this](bool checked) {
    if (selected_ < 0) return;
    servers_[selected_].enabled = checked ? 1 : 0;
    list_->topLevelItem(selected_)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  });

  servers_ = ReadStreamingServers(store_);
  if (servers_.empty()) servers_.push_back(DefaultStreamingServer());
  Fill();
}

void CStreamingSettingsDlg::Fill() {
  const QSignalBlocker quiet(list_);
  list_->clear();
  for (const StreamingServer& server : servers_) {
    auto* item = new QTreeWidgetItem(list_, {Q(server.name), Q(server.rtmpUrl), Q(server.key)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, server.enabled ? Qt::Checked : Qt::Unchecked);
  }
  list_->setCurrentItem(nullptr);
  selected_ = -1;
}

void CStreamingSettingsDlg::ClearFields() {
  name_->clear();
  url_->clear();
  key_->clear();
  enable_->setChecked(false);
  selected_ = -1;
}

void CStreamingSettingsDlg::SelectRow(int row) {
  selected_ = row;
  if (row < 0 || row >= static_cast<int>(servers_.size())) {
    selected_ = -1;
    return;
  }
  const StreamingServer& server = servers_[row];
  name_->setText(Q(server.name));
  url_->setText(Q(server.rtmpUrl));
  key_->setText(Q(server.key));
  enable_->setChecked(server.enabled != 0);
}

void CStreamingSettingsDlg::OnItemChanged(QTreeWidgetItem* item, int column) {
  const int row = list_->indexOfTopLevelItem(item);
  if (column != 0 || row < 0) return;
  servers_[row].enabled = item->checkState(0) == Qt::Checked ? 1 : 0;
  if (row == selected_) enable_->setChecked(servers_[row].enabled != 0);
}

bool CStreamingSettingsDlg::FieldsAcceptable(StreamingServer& entry) {
  entry = {name_->text().toStdString(), url_->text().toStdString(), key_->text().toStdString(),
           enable_->isChecked() ? 1 : 0};
  if (entry.name.empty() || entry.rtmpUrl.empty()) {
    prompts_.Tell(kProgramName, "Please fill in Server Name and RTMP URL", UserPrompts::Icon::Warning);
    return false;
  }
  if (const std::string problem = ServerEntryProblem(entry); !problem.empty()) {
    prompts_.Tell(kProgramName, problem, UserPrompts::Icon::Warning);
    return false;
  }
  return true;
}

void CStreamingSettingsDlg::OnAdd() {
  StreamingServer entry;
  if (!FieldsAcceptable(entry)) return;
  servers_.push_back(entry);
  Fill();
  ClearFields();
}

void CStreamingSettingsDlg::OnModify() {
  if (selected_ < 0) {
    prompts_.Tell(kProgramName, "Please select a server to modify", UserPrompts::Icon::Warning);
    return;
  }
  StreamingServer entry;
  if (!FieldsAcceptable(entry)) return;
  servers_[selected_] = entry;
  Fill();
  ClearFields();
}

void CStreamingSettingsDlg::OnRemove() {
  if (selected_ < 0) {
    prompts_.Tell(kProgramName, "Please select a server to remove", UserPrompts::Icon::Warning);
    return;
  }
  if (!prompts_.Ask(kProgramName, "Are you sure you want to remove this server?", UserPrompts::Icon::Question, false))
    return;
  servers_.erase(servers_.begin() + selected_);
  Fill();
  ClearFields();
}

void CStreamingSettingsDlg::OnOk() {
  for (int row = 0; row < list_->topLevelItemCount() && row < static_cast<int>(servers_.size()); ++row)
    servers_[row].enabled = list_->topLevelItem(row)->checkState(0) == Qt::Checked ? 1 : 0;
  WriteStreamingServers(store_, servers_);
  accept();
}
