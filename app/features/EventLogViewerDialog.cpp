#include "features/EventLogViewerDialog.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "features/CustomColorButton.h"
#include "features/EventLogFilter.h"

using namespace orvex;

namespace {

constexpr int kDefaultRangeDays = 30;
constexpr int kFixedColumnsWidth = 600;
constexpr int kMinDetailsWidth = 300;

Day ToDay(const QDate& date) { return {date.year(), date.month(), date.day()}; }

}  // namespace

CEventLogViewerDlg::CEventLogViewerDlg(RegistryStore& store, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), log_(std::make_unique<EventLog>(store)), prompts_(prompts) {
  setWindowTitle("View Event Logs");
  log_->Initialize();
  openFile = [](const std::string& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))); };

  auto* filters = new QGroupBox("Filters", this);
  typeList_ = new QComboBox(filters);
  typeList_->addItem("All");
  for (int type = 0; type < kEventTypeCount; ++type)
    typeList_->addItem(QString::fromStdString(EventLog::TypeDisplayName(type)));
  from_ = new QDateEdit(filters);
  to_ = new QDateEdit(filters);
  from_->setCalendarPopup(true);
  to_->setCalendarPopup(true);
  filter_ = new QPushButton("Filter", filters);
  clearFilter_ = new QPushButton("Clear Filter", filters);
  auto* grid = new QGridLayout(filters);
  grid->addWidget(new QLabel("Event Type:", filters), 0, 0);
  grid->addWidget(typeList_, 0, 1);
  grid->addWidget(new QLabel("From Date:", filters), 0, 2);
  grid->addWidget(from_, 0, 3);
  grid->addWidget(new QLabel("To Date:", filters), 0, 4);
  grid->addWidget(to_, 0, 5);
  grid->addWidget(filter_, 0, 6);
  grid->addWidget(clearFilter_, 0, 7);

  table_ = new QTableWidget(0, 4, this);
  table_->setHorizontalHeaderLabels({"Timestamp", "Event Type", "Description", "Details"});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setShowGrid(true);
  table_->verticalHeader()->hide();
  table_->setColumnWidth(0, 150);
  table_->setColumnWidth(1, 150);
  table_->setColumnWidth(2, 250);
  resize(1100, 500);
  table_->setColumnWidth(3, std::max(kMinDetailsWidth, width() - kFixedColumnsWidth));

  close_ = new QPushButton("Close", this);
  close_->setDefault(true);
  clearAll_ = new CCustomColorButton("Clear All Logs", this);
  clearAll_->SetColors(QColor(255, 0, 0), QColor(200, 0, 0), QColor(150, 0, 0), Qt::white, QColor(128, 0, 0));
  clearAll_->SetButtonFont(close_->font());
  // Only the button deletes; Escape and the close box just close the dialog.
  clearAll_->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(clearAll_);
  buttons->addStretch();
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(filters);
  layout->addWidget(table_);
  layout->addLayout(buttons);

  connect(typeList_, &QComboBox::currentIndexChanged, this, &CEventLogViewerDlg::Refresh);
  connect(filter_, &QPushButton::clicked, this, &CEventLogViewerDlg::Refresh);
  connect(clearFilter_, &QPushButton::clicked, this, &CEventLogViewerDlg::ClearFilter);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenRow(row); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);
  connect(clearAll_, &QPushButton::clicked, this, &CEventLogViewerDlg::ClearAll);

  typeList_->blockSignals(true);
  ClearFilter();
  typeList_->blockSignals(false);
  Refresh();
}

CEventLogViewerDlg::~CEventLogViewerDlg() = default;

void CEventLogViewerDlg::ClearFilter() {
  const QDate today = QDate::currentDate();
  typeList_->setCurrentIndex(0);
  from_->setDate(QDateTime::currentDateTime().addSecs(-kDefaultRangeDays * 86400).date());
  to_->setDate(today);
  Refresh();
}

void CEventLogViewerDlg::Refresh() {
  table_->setRowCount(0);
  const auto events =
      FilterEvents(log_->ReadAllEvents(), typeList_->currentIndex(), ToDay(from_->date()), ToDay(to_->date()));
  table_->setRowCount(static_cast<int>(events.size()));
  for (int row = 0; row < static_cast<int>(events.size()); ++row) {
    const EventRecord& event = events[row];
    const std::string columns[] = {event.timestamp, EventLog::TypeDisplayName(event.type), event.description,
                                   event.details};
    for (int column = 0; column < 4; ++column)
      table_->setItem(row, column, new QTableWidgetItem(QString::fromStdString(columns[column])));
  }
}

void CEventLogViewerDlg::OpenRow(int row) {
  if (row < 0 || row >= table_->rowCount()) return;
  OpenEventFile(table_->item(row, 1)->text().toStdString(), table_->item(row, 3)->text().toStdString(), prompts_,
                openFile);
}

void CEventLogViewerDlg::ClearAll() {
  ClearAllLogs(log_.get(), prompts_);
  Refresh();
}
