#include "features/RecentFilesSelectDialog.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

CRecentFilesSelectDlg::CRecentFilesSelectDlg(const std::vector<std::string>& files,
                                             std::function<void(const std::string&)> openFile, QWidget* parent)
    : QDialog(parent), openFile_(std::move(openFile)) {
  setWindowTitle("Select Video to Play");
  setFixedSize(800, 525);
  auto* label = new QLabel("Select a video file to play:", this);
  label->setGeometry(15, 15, 755, 20);
  list_ = new QListWidget(this);
  list_->setGeometry(15, 40, 755, 380);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setSortingEnabled(false);
  // The list scrolls sideways as far as the widest path plus a margin.
  const QFontMetrics metrics(list_->font());
  int widest = 0;
  for (const std::string& file : files) widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(file)));
  for (const std::string& file : files) {
    auto* item = new QListWidgetItem(QString::fromStdString(file), list_);
    item->setSizeHint(QSize(widest + 20, metrics.height() + 4));
  }
  if (list_->count() > 0) list_->setCurrentRow(0);
  play_ = new QPushButton("Play", this);
  play_->setGeometry(600, 420, 80, 35);
  play_->setDefault(true);
  auto* close = new QPushButton("Close", this);
  close->setGeometry(690, 420, 80, 35);
  connect(play_, &QPushButton::clicked, this, &CRecentFilesSelectDlg::PlaySelected);
  connect(list_, &QListWidget::itemDoubleClicked, this, &CRecentFilesSelectDlg::PlaySelected);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  if (parent) move(parent->geometry().center() - rect().center());
}

void CRecentFilesSelectDlg::PlaySelected() {
  const QListWidgetItem* item = list_->currentItem();
  if (item && openFile_) openFile_(item->text().toStdString());
}
