// "Default Settings": frame rate and quality, tray, start with the session,
// pause on activation, event logging, the floating toolbar, separate files
// and the cloud copy. Most values are written on OK; the start-with-session
// and logging boxes act at once.
#pragma once

#include <QDialog>
#include <string>

#include "features/EventLog.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvex {

class RegistryStore;
class UserPrompts;

// What the dialog reaches in the main window while it runs.
class DefaultSettingsHost {
 public:
  virtual ~DefaultSettingsHost() = default;
  virtual void SetSeparateFilesFlag(bool separate) = 0;
  // The window re-reads "LoggingEnabled" into its event log and writes it back.
  virtual void ReloadLoggingSwitch() = 0;
  virtual void LogEvent(EventType type, const std::string& description, const std::string& details) = 0;
  // qelsetFrameRate and qelSetCrf.
  virtual void ApplyEncoderDefaults(int fps, int crf) = 0;
  virtual void OpenEventLogViewer() = 0;
};

}  // namespace orvex

class CDefaultSettingsDlg : public QDialog {
  Q_OBJECT

 public:
  // programPath: what the start-with-the-session entry starts.
  CDefaultSettingsDlg(orvex::RegistryStore& store, orvex::UserPrompts& prompts, orvex::DefaultSettingsHost& host,
                      std::string programPath, QWidget* parent = nullptr);

  QLineEdit* fpsEdit() const { return fps_; }
  QComboBox* qualityList() const { return quality_; }
  QCheckBox* box(const char* valueName) const;
  QComboBox* driveList() const { return drive_; }
  QLineEdit* folderEdit() const { return folder_; }
  QPushButton* browseButton() const { return browse_; }
  QPushButton* resetButton() const { return reset_; }
  QPushButton* viewLogsButton() const { return viewLogs_; }

  void OnOK();
  void OnResetToDefaults();
  void OnChooseCloudFolder();

 private:
  void ShowCloudControls();
  void OnAutostartClicked(bool ticked);
  void OnLoggingClicked(bool ticked);
  void OnDriveChanged();

  orvex::RegistryStore& store_;
  orvex::UserPrompts& prompts_;
  orvex::DefaultSettingsHost& host_;
  std::string programPath_;
  QLineEdit* fps_ = nullptr;
  QComboBox* quality_ = nullptr;
  QCheckBox* boxes_[7] = {};
  QComboBox* drive_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* browse_ = nullptr;
  QLabel* driveLabel_ = nullptr;
  QLabel* folderLabel_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* viewLogs_ = nullptr;
  int driveShown_ = -1;
};
