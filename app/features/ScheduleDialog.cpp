#include "features/ScheduleDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <filesystem>

#include "core/Settings.h"
#include "platform/DebugChannel.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

using Icon = UserPrompts::Icon;

enum Column { kDate, kFrom, kTo, kEnabled, kStatus, kFile, kColumns };
// The date column also holds the row's check box: wide enough for both.
constexpr int kColumnWidths[kColumns] = {120, 90, 90, 70, 100, 600};
constexpr char kNoSelection[] = "No Selection";
constexpr char kInvalidTime[] = "Invalid Time";
constexpr char kFallbackTime[] = "08:00 AM";
constexpr int kFromDefault = 9 * 60, kToDefault = 18 * 60;
constexpr int kFromFallback = 8 * 60, kToFallback = 17 * 60;

QString Q(const std::string& text) { return QString::fromStdString(text); }

QDate ToQDate(const ScheduleDate& date) { return QDate(date.year, date.month, date.day); }

}  // namespace

CScheduleRecordingDlg::CScheduleRecordingDlg(RegistryStore& store, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), store_(store), prompts_(prompts) {
  setWindowTitle("Schedule Recording");
  openFile = [](const std::string& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path))); };
  book_ = ReadScheduleBook(Settings(store_));

  enable_ = new QCheckBox("Enable Scheduled Recording", this);
  auto* listGroup = new QGroupBox("Scheduled Recordings", this);
  list_ = new QTableWidget(0, kColumns, listGroup);
  list_->setHorizontalHeaderLabels({"Date", "From Time", "To Time", "Enabled", "Status", "Recorded File"});
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setShowGrid(true);
  list_->verticalHeader()->hide();
  for (int column = 0; column < kColumns; ++column) list_->setColumnWidth(column, kColumnWidths[column]);
  auto* buttons = new QHBoxLayout;
  for (const char* text : {"Add", "Edit", "Remove", "Play"}) {
    auto* button = new QPushButton(text, listGroup);
    button->setAutoDefault(false);
    buttons->addWidget(button);
    listButtons_.push_back(button);
  }
  buttons->addStretch();
  auto* listLayout = new QVBoxLayout(listGroup);
  listLayout->addWidget(list_);
  listLayout->addLayout(buttons);

  auto* details = new QGroupBox("Schedule Details", this);
  date_ = new QDateEdit(details);
  date_->setCalendarPopup(true);
  // The user's short date, with the year in full: a schedule may lie in another century's two digits.
  QString shortFormat = QLocale().dateFormat(QLocale::ShortFormat);
  if (!shortFormat.contains("yyyy")) shortFormat.replace("yy", "yyyy");
  date_->setDisplayFormat(shortFormat);
  for (int i = 0; i < 6; ++i) {
    time_[i] = new QComboBox(details);
    if (i % 3 == 0)
      for (int hour = 1; hour <= 12; ++hour) time_[i]->addItem(QString::number(hour));
    else if (i % 3 == 1)
      for (int minute = 0; minute < 60; minute += 5) time_[i]->addItem(Q(Printf("%02d", minute)));
    else
      time_[i]->addItems({"AM", "PM"});
  }
  auto* grid = new QGridLayout(details);
  grid->addWidget(new QLabel("Date:", details), 0, 0);
  grid->addWidget(date_, 0, 1, 1, 3);
  grid->addWidget(new QLabel("From Time:", details), 1, 0);
  grid->addWidget(new QLabel("To Time:", details), 2, 0);
  for (int i = 0; i < 6; ++i) grid->addWidget(time_[i], 1 + i / 3, 1 + i % 3);
  grid->setColumnStretch(4, 1);

  doNotStream_ = new QCheckBox("Do not stream with scheduled recording", this);
  auto* okCancel = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(enable_);
  layout->addWidget(listGroup, 1);
  layout->addWidget(details);
  layout->addWidget(doNotStream_);
  layout->addWidget(okCancel);
  resize(760, 560);

  filling_ = true;
  for (const ScheduledRecording& entry : book_.entries) AddRow(entry);
  filling_ = false;
  enable_->setChecked(book_.schedulingEnabled);
  doNotStream_->setChecked(book_.doNotStream);
  UpdateEnabledState();
  ResetInputs();

  connect(enable_, &QCheckBox::toggled, this, &CScheduleRecordingDlg::UpdateEnabledState);
  connect(listButtons_[0], &QPushButton::clicked, this, &CScheduleRecordingDlg::OnAdd);
  connect(listButtons_[1], &QPushButton::clicked, this, &CScheduleRecordingDlg::OnEdit);
  connect(listButtons_[2], &QPushButton::clicked, this, &CScheduleRecordingDlg::OnRemove);
  connect(listButtons_[3], &QPushButton::clicked, this, &CScheduleRecordingDlg::OnPlay);
  connect(list_, &QTableWidget::itemSelectionChanged, this, &CScheduleRecordingDlg::OnSelectionChanged);
  connect(list_, &QTableWidget::cellChanged, this, &CScheduleRecordingDlg::OnRowChanged);
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { PlayRow(row); });
  connect(okCancel, &QDialogButtonBox::accepted, this, &CScheduleRecordingDlg::OnOk);
  connect(okCancel, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QPushButton* CScheduleRecordingDlg::button(const QString& text) const {
  for (QPushButton* button : listButtons_)
    if (button->text() == text) return button;
  return nullptr;
}

void CScheduleRecordingDlg::UpdateEnabledState() {
  const bool on = enable_->isChecked();
  list_->setEnabled(on);
  date_->setEnabled(on);
  for (QComboBox* box : time_) box->setEnabled(on);
  for (QPushButton* button : listButtons_) button->setEnabled(on);
}

void CScheduleRecordingDlg::AddRow(const ScheduledRecording& entry) {
  const bool wasFilling = filling_;
  filling_ = true;
  const int row = list_->rowCount();
  list_->insertRow(row);
  for (int column = 0; column < kColumns; ++column) list_->setItem(row, column, new QTableWidgetItem);
  list_->item(row, kDate)->setFlags(list_->item(row, kDate)->flags() | Qt::ItemIsUserCheckable);
  SetRowTexts(row, entry);
  filling_ = wasFilling;
}

void CScheduleRecordingDlg::SetRowTexts(int row, const ScheduledRecording& entry) {
  const bool wasFilling = filling_;
  filling_ = true;
  list_->item(row, kDate)->setText(Q(entry.date));
  list_->item(row, kDate)->setCheckState(entry.enabled ? Qt::Checked : Qt::Unchecked);
  list_->item(row, kFrom)->setText(Q(entry.fromTime));
  list_->item(row, kTo)->setText(Q(entry.toTime));
  list_->item(row, kEnabled)->setText(entry.enabled ? "Yes" : "No");
  list_->item(row, kStatus)->setText(Q(entry.status.empty() ? kStatusNotStarted : entry.status));
  list_->item(row, kFile)->setText(Q(entry.recordedFile));
  filling_ = wasFilling;
}

// A row's box is the entry's switch from the moment it is clicked.
void CScheduleRecordingDlg::OnRowChanged(int row, int column) {
  if (filling_ || column != kDate || row < 0 || row >= static_cast<int>(book_.entries.size())) return;
  const bool ticked = list_->item(row, kDate)->checkState() == Qt::Checked;
  if (book_.entries[row].enabled == ticked) return;
  book_.entries[row].enabled = ticked;
  filling_ = true;
  list_->item(row, kEnabled)->setText(ticked ? "Yes" : "No");
  filling_ = false;
}

void CScheduleRecordingDlg::ResetInputs() {
  date_->setDate(QDate::currentDate());
  ShowTime(0, "", kFromDefault);
  ShowTime(3, "", kToDefault);
}

// Puts a time into the three boxes starting at `first`.
void CScheduleRecordingDlg::ShowTime(int first, const std::string& text, int fallbackMinuteOfDay) {
  const int minuteOfDay = ParseScheduleTime(text).value_or(fallbackMinuteOfDay);
  const int hour24 = minuteOfDay / 60;
  const int hour12 = hour24 % 12 == 0 ? 12 : hour24 % 12;
  time_[first]->setCurrentIndex(time_[first]->findText(QString::number(hour12)));
  const int minute = time_[first + 1]->findText(Q(Printf("%02d", minuteOfDay % 60)));
  time_[first + 1]->setCurrentIndex(minute >= 0 ? minute : 0);
  time_[first + 2]->setCurrentIndex(hour24 < 12 ? 0 : 1);
}

std::string CScheduleRecordingDlg::TimeText(int first) const {
  for (int i = first; i < first + 3; ++i)
    if (time_[i]->currentIndex() < 0) return kFallbackTime;
  return FormatScheduleTime(time_[first]->currentText().toStdString(), time_[first + 1]->currentText().toStdString(),
                            time_[first + 2]->currentText().toStdString());
}

std::string CScheduleRecordingDlg::DateText() const {
  const QDate date = date_->date().isValid() ? date_->date() : QDate::currentDate();
  return FormatScheduleDate({date.year(), date.month(), date.day()});
}

bool CScheduleRecordingDlg::ValidateInputs(ScheduledRecording& entry) {
  entry.date = DateText();
  entry.fromTime = TimeText(0);
  entry.toTime = TimeText(3);
  if (!ParseScheduleDate(entry.date)) {
    prompts_.Tell("Invalid Date", "Invalid date format. Please use MMM-dd-yyyy format (e.g., Jan-15-2024).", Icon::Error);
    return false;
  }
  const auto from = ParseScheduleTime(entry.fromTime);
  if (!from) {
    prompts_.Tell(kInvalidTime, "Invalid from time format. Please use HH:MM AM/PM format (e.g., 09:30 AM).",
                  Icon::Error);
    return false;
  }
  const auto to = ParseScheduleTime(entry.toTime);
  if (!to) {
    prompts_.Tell(kInvalidTime, "Invalid to time format. Please use HH:MM AM/PM format (e.g., 05:30 PM).", Icon::Error);
    return false;
  }
  if (*from >= *to) {
    prompts_.Tell("Invalid Time Range", "To time must be after From time.", Icon::Error);
    return false;
  }
  return true;
}

void CScheduleRecordingDlg::OnAdd() {
  ScheduledRecording entry;
  if (!ValidateInputs(entry)) return;
  book_.entries.push_back(entry);
  AddRow(entry);
  ResetInputs();
  selected_ = -1;
}

void CScheduleRecordingDlg::OnEdit() {
  if (selected_ < 0 || selected_ >= static_cast<int>(book_.entries.size())) {
    prompts_.Tell(kNoSelection, "Please select a schedule to edit.", Icon::Information);
    return;
  }
  ScheduledRecording edited;
  if (!ValidateInputs(edited)) return;
  ScheduledRecording& entry = book_.entries[selected_];
  entry.date = edited.date;
  entry.fromTime = edited.fromTime;
  entry.toTime = edited.toTime;
  SetRowTexts(selected_, entry);
  ResetInputs();
  selected_ = -1;
}

void CScheduleRecordingDlg::OnRemove() {
  if (selected_ < 0 || selected_ >= static_cast<int>(book_.entries.size())) {
    prompts_.Tell(kNoSelection, "Please select a schedule to remove.", Icon::Information);
    return;
  }
  const int row = selected_;
  selected_ = -1;
  book_.entries.erase(book_.entries.begin() + row);
  filling_ = true;
  list_->removeRow(row);
  filling_ = false;
  ResetInputs();
  selected_ = -1;
}

void CScheduleRecordingDlg::OnPlay() {
  const QList<QTableWidgetSelectionRange> ranges = list_->selectedRanges();
  if (ranges.isEmpty()) {
    prompts_.Tell(kNoSelection, "Please select a schedule to play.", Icon::Information);
    return;
  }
  PlayRow(ranges.first().topRow());
}

void CScheduleRecordingDlg::PlayRow(int row) {
  if (row < 0 || row >= static_cast<int>(book_.entries.size())) return;
  const std::string& file = book_.entries[row].recordedFile;
  if (file.empty()) {
    prompts_.Tell("No File", "No recorded file available for this schedule.", Icon::Information);
    return;
  }
  std::error_code error;
  if (!std::filesystem::exists(file, error)) {
    prompts_.Tell("File Not Found", "The recorded file could not be found.", Icon::Warning);
    return;
  }
  openFile(file);
}

void CScheduleRecordingDlg::OnSelectionChanged() {
  if (filling_) return;
  const QList<QTableWidgetSelectionRange> ranges = list_->selectedRanges();
  const int row = ranges.isEmpty() ? -1 : ranges.first().topRow();
  if (row == selected_) return;
  if (selected_ >= 0) {
    selected_ = -1;
    ResetInputs();
  }
  if (row < 0 || row >= static_cast<int>(book_.entries.size())) return;
  selected_ = row;
  const ScheduledRecording& entry = book_.entries[row];
  const auto date = ParseScheduleDate(entry.date);
  date_->setDate(date && ToQDate(*date).isValid() ? ToQDate(*date) : QDate::currentDate());
  ShowTime(0, entry.fromTime, kFromFallback);
  ShowTime(3, entry.toTime, kToFallback);
}

void CScheduleRecordingDlg::OnOk() {
  book_.schedulingEnabled = enable_->isChecked();
  book_.doNotStream = doNotStream_->isChecked();
  // Every row's box counts, selected or not.
  for (int row = 0; row < list_->rowCount() && row < static_cast<int>(book_.entries.size()); ++row)
    book_.entries[row].enabled = list_->item(row, kDate)->checkState() == Qt::Checked;
  Settings settings(store_);
  previousNumbers_ = WriteScheduleBook(settings, book_);
  accept();
}
