#include "features/DefaultSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>
#include <filesystem>

#include "core/CloudDrive.h"
#include "core/Product.h"
#include "core/Settings.h"
#include "features/DefaultSettingsRules.h"
#include "platform/RegistryStore.h"
#include "platform/UserPrompts.h"

using namespace orvex;
using Icon = UserPrompts::Icon;

namespace {

// The boxes, in the dialog's order, with their values.
struct BoxRow {
  const char* value;
  const char* caption;
};
constexpr BoxRow kBoxes[7] = {
    {"MinimizeToTray", "Minimize the app to system tray when recording starts"},
    {"AutomaticStart", "Start Orvex Automatically when I sign into Windows"},
    {"PauseRecordingWhenActivated", "Pause Recording When Main Screen Gets Activated"},
    {"LoggingEnabled", "Log All Orvex Events"},
    {"ShowRecordingControlsOnDesktop", "Show Recording Controls on Desktop"},
    {"UseSeparateAudioVideoRecording", "Create Separate Audio and Video Files of Recording"},
    {"AutoSaveToCloud", "Auto-save recordings to your cloud drive when finished"},
};
enum Box { kMinimize, kAutostart, kPause, kLogging, kToolbar, kSeparate, kAutoSave };

constexpr int kDefaultFps = 10, kDefaultCrf = 30;
constexpr char kPathMissing[] = "Selected path does not exist. Please select a valid folder.";

bool IsFolder(const std::string& path) {
  std::error_code ignored;
  return !path.empty() && std::filesystem::is_directory(path, ignored);
}

}  // namespace

CDefaultSettingsDlg::CDefaultSettingsDlg(RegistryStore& store, UserPrompts& prompts, DefaultSettingsHost& host,
                                         std::string programPath, QWidget* parent)
    : QDialog(parent), store_(store), prompts_(prompts), host_(host), programPath_(std::move(programPath)) {
  setWindowTitle("Default Settings");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  fps_ = new QLineEdit(this);
  fps_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), fps_));  // digits only
  fps_->setMaximumWidth(80);
  form->addRow("FPS:", fps_);
  quality_ = new QComboBox(this);
  form->addRow("Video Quality:", quality_);
  layout->addLayout(form);
  for (int i = 0; i < 7; ++i) {
    boxes_[i] = new QCheckBox(kBoxes[i].caption, this);
    layout->addWidget(boxes_[i]);
  }
  auto* cloud = new QFormLayout;
  cloud->setContentsMargins(24, 0, 0, 0);
  driveLabel_ = new QLabel("Cloud Drive:", this);
  drive_ = new QComboBox(this);
  cloud->addRow(driveLabel_, drive_);
  folderLabel_ = new QLabel("Folder:", this);
  auto* folderRow = new QHBoxLayout;
  folder_ = new QLineEdit(this);
  folder_->setReadOnly(true);
  folder_->setMinimumWidth(260);
  browse_ = new QPushButton("...", this);
  browse_->setFixedWidth(32);
  folderRow->addWidget(folder_);
  folderRow->addWidget(browse_);
  cloud->addRow(folderLabel_, folderRow);
  layout->addLayout(cloud);
  auto* buttons = new QHBoxLayout;
  viewLogs_ = new QPushButton("View Logs", this);
  reset_ = new QPushButton("Reset To Defaults", this);
  auto* ok = new QPushButton("OK", this);
  auto* cancel = new QPushButton("Cancel", this);
  ok->setDefault(true);
  buttons->addWidget(viewLogs_);
  buttons->addWidget(reset_);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  // Opening.
  const Settings settings(store_);
  for (const char* name : kQualityNames) quality_->addItem(name);
  const int fps = settings.ReadNumber("DefaultFPS", 1, 120, kDefaultFps);
  const int crf = settings.ReadNumber("DefaultCRF", 10, 30, kDefaultCrf);
  fps_->setText(QString::number(fps));
  quality_->setCurrentIndex(QualityIndexForCrf(crf));
  for (int i = 0; i < 7; ++i) boxes_[i]->setChecked(settings.ReadFlag(kBoxes[i].value));
  const auto logging = settings.ReadText("LoggingEnabled");
  boxes_[kLogging]->setChecked(logging && (*logging == "TRUE" || *logging == "1"));
  for (const char* type : kCloudDriveTypes) drive_->addItem(type);
  const CloudSettings stored = LoadCloudSettings(settings);
  drive_->setCurrentIndex(CloudDriveIndex(stored.driveType));
  driveShown_ = drive_->currentIndex();
  folder_->setText(QString::fromStdString(stored.folderPath.empty() ? kDefaultCloudFolder : stored.folderPath));
  ShowCloudControls();
  SetAutostart(store_, boxes_[kAutostart]->isChecked(), programPath_);  // silent, as at OK

  connect(boxes_[kAutostart], &QCheckBox::clicked, this, &CDefaultSettingsDlg::OnAutostartClicked);
  connect(boxes_[kLogging], &QCheckBox::clicked, this, &CDefaultSettingsDlg::OnLoggingClicked);
  connect(boxes_[kAutoSave], &QCheckBox::clicked, this, &CDefaultSettingsDlg::ShowCloudControls);
  connect(drive_, &QComboBox::currentIndexChanged, this, &CDefaultSettingsDlg::OnDriveChanged);
  connect(browse_, &QPushButton::clicked, this, &CDefaultSettingsDlg::OnChooseCloudFolder);
  connect(reset_, &QPushButton::clicked, this, &CDefaultSettingsDlg::OnResetToDefaults);
  connect(viewLogs_, &QPushButton::clicked, this, [this] { host_.OpenEventLogViewer(); });
  connect(ok, &QPushButton::clicked, this, &CDefaultSettingsDlg::OnOK);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QCheckBox* CDefaultSettingsDlg::box(const char* valueName) const {
  for (int i = 0; i < 7; ++i)
    if (std::string(kBoxes[i].value) == valueName) return boxes_[i];
  return nullptr;
}

void CDefaultSettingsDlg::ShowCloudControls() {
  const bool shown = boxes_[kAutoSave]->isChecked();
  for (QWidget* control : std::initializer_list<QWidget*>{driveLabel_, drive_, folderLabel_, folder_, browse_}) {
    control->setVisible(shown);
    control->setEnabled(shown);
  }
}

// A folder belongs to its drive: one kept across a drive change would be
// nested under the new drive's root, or tested as a path of its own.
void CDefaultSettingsDlg::OnDriveChanged() {
  if (drive_->currentIndex() == driveShown_) return;
  driveShown_ = drive_->currentIndex();
  folder_->setText(drive_->currentText() == kOtherCloudDrive ? "" : kDefaultCloudFolder);
}

void CDefaultSettingsDlg::OnAutostartClicked(bool ticked) {
  const bool present = AutostartPresent(store_);
  if (ticked == present) return;
  if (SetAutostart(store_, ticked, programPath_)) return;
  boxes_[kAutostart]->setChecked(AutostartPresent(store_));
  prompts_.Tell("Error",
                ticked ? "Failed to add Orvex to Windows startup. Please try again."
                       : "Failed to remove Orvex from Windows startup. Please try again.",
                Icon::Error);
}

void CDefaultSettingsDlg::OnLoggingClicked(bool ticked) {
  Settings(store_).WriteFlag("LoggingEnabled", ticked);
  host_.ReloadLoggingSwitch();
  if (ticked) host_.LogEvent(SettingsChanged, "Event logging enabled", "");
}

void CDefaultSettingsDlg::OnChooseCloudFolder() {
  if (drive_->currentIndex() < 0) {
    prompts_.Tell(kProgramName, "Please select a cloud drive first.", Icon::Warning);
    return;
  }
  const std::string type = drive_->currentText().toStdString();
  if (type == kOtherCloudDrive) {
    const auto chosen = prompts_.PickFolder("Select a folder for auto-save:", "");
    if (!chosen) return;
    if (!IsFolder(*chosen)) {
      prompts_.Tell(kProgramName, kPathMissing, Icon::Error);
      return;
    }
    folder_->setText(QString::fromStdString(*chosen));
    return;
  }
  Settings settings(store_);
  std::string root = GetCloudDrivePath(settings, type);
  if (root.empty()) {
    if (!prompts_.Ask(kProgramName,
                      "Could not find " + type + " folder. Would you like to browse and select the " + type +
                          " root folder?",
                      Icon::Question, false))
      return;
    const auto chosen = prompts_.PickFolder("Select the root folder for " + type + ":", QDir::homePath().toStdString());
    if (!chosen) return;
    if (!IsFolder(*chosen)) {
      prompts_.Tell(kProgramName, kPathMissing, Icon::Error);
      return;
    }
    settings.WriteText("CloudDriveRootPath_" + type, *chosen);
    root = *chosen;
  }
  const auto chosen = prompts_.PickFolder("Select a folder within your cloud drive:", root);
  if (!chosen) return;
  const std::string relative = CloudRelativePath(*chosen, root);
  if (relative.empty()) {
    prompts_.Tell(kProgramName, "Selected folder is not within the cloud drive root.", Icon::Warning);
    return;
  }
  folder_->setText(QString::fromStdString(relative));
}

void CDefaultSettingsDlg::OnResetToDefaults() {
  fps_->setText(QString::number(kDefaultFps));
  quality_->setCurrentIndex(QualityIndexForCrf(kDefaultCrf));
  for (QCheckBox* box : boxes_) box->setChecked(false);
  ShowCloudControls();
}

void CDefaultSettingsDlg::OnOK() {
  const bool autoSave = boxes_[kAutoSave]->isChecked();
  const std::string type = drive_->currentIndex() >= 0 ? drive_->currentText().toStdString() : kCloudDriveTypes[0];
  std::string folder = folder_->text().toStdString();
  // An "Other" folder is a whole path of its own: it must be there.
  if (autoSave && type == kOtherCloudDrive && (!std::filesystem::path(folder).is_absolute() || !IsFolder(folder))) {
    prompts_.Tell(kProgramName, kPathMissing, Icon::Error);
    return;
  }
  const int fps = LimitFps(fps_->text().toStdString());
  const int crf = CrfForQuality(quality_->currentText().toStdString());
  Settings settings(store_);
  settings.WriteNumber("DefaultFPS", fps);
  settings.WriteNumber("DefaultCRF", crf);
  settings.WriteFlag("MinimizeToTray", boxes_[kMinimize]->isChecked());
  settings.WriteFlag("AutoSaveToCloud", autoSave);
  if (autoSave) {
    settings.WriteText("CloudDriveType", type);
    settings.WriteText("CloudFolderPath", folder.empty() ? kDefaultCloudFolder : folder);
  }
  for (Box box : {kAutostart, kLogging, kToolbar, kPause, kSeparate})
    settings.WriteFlag(kBoxes[box].value, boxes_[box]->isChecked());
  host_.SetSeparateFilesFlag(boxes_[kSeparate]->isChecked());
  SetAutostart(store_, boxes_[kAutostart]->isChecked(), programPath_);
  host_.ApplyEncoderDefaults(fps, crf);
  host_.ReloadLoggingSwitch();
  accept();
}
