// The Default Settings dialog, answered through the prompts, and its rules;
// the start-with-the-session entry in the store.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>

#include "FakePrompts.h"
#include "Fixtures.h"
#include "core/CloudDrive.h"
#include "core/Settings.h"
#include "features/DefaultSettingsDialog.h"
#include "features/DefaultSettingsRules.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using namespace testsupport;

namespace {

struct RecordingHost : DefaultSettingsHost {
  void SetSeparateFilesFlag(bool separate) override { separateFlag = separate; }
  void ReloadLoggingSwitch() override { ++reloads; }
  void LogEvent(EventType type, const std::string& description, const std::string&) override {
    events.push_back(std::to_string(type) + " " + description);
  }
  void ApplyEncoderDefaults(int fpsValue, int crfValue) override {
    fps = fpsValue;
    crf = crfValue;
  }
  void OpenEventLogViewer() override { ++viewerOpened; }
  bool separateFlag = false;
  int reloads = 0, fps = 0, crf = 0, viewerOpened = 0;
  std::vector<std::string> events;
};

class DefaultSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("HOME", dir_.path().c_str(), 1); }
  std::unique_ptr<CDefaultSettingsDlg> Open(const std::string& program = "/opt/orvex/OrvexLite") {
    return std::make_unique<CDefaultSettingsDlg>(store_, prompts_, host_, program);
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  std::optional<std::string> Stored(const std::string& name) { return store_.ReadValue(kRootKey, name); }

  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
  RecordingHost host_;
};

TEST(DefaultSettingsRules, QualityAndFrameRate) {
  EXPECT_EQ(kQualityNames[QualityIndexForCrf(18)], std::string("Medium"));
  EXPECT_EQ(kQualityNames[QualityIndexForCrf(10)], std::string("Very Large"));
  EXPECT_EQ(kQualityNames[QualityIndexForCrf(11)], std::string("Large"));
  EXPECT_EQ(kQualityNames[QualityIndexForCrf(26)], std::string("Very Small"));
  EXPECT_EQ(CrfForQuality("Small"), 25);
  EXPECT_EQ(CrfForQuality("nothing"), 20);
  EXPECT_EQ(LimitFps("0"), 1);
  EXPECT_EQ(LimitFps(""), 1);
  EXPECT_EQ(LimitFps("500"), 120);
  EXPECT_EQ(LimitFps("99999999999999999999999999"), 120);
  EXPECT_EQ(LimitFps("30"), 30);
  EXPECT_EQ(CloudDriveIndex("onedrive"), 1);
  EXPECT_EQ(CloudDriveIndex("Oth"), 2);
  EXPECT_EQ(CloudDriveIndex("Dropbox"), 0);
}

TEST(CloudRelativePath, InsideTheRootOnly) {
  EXPECT_EQ(CloudRelativePath("/home/u/ONEDRIVE/A/B", "/home/u/OneDrive"), "A/B");
  EXPECT_EQ(CloudRelativePath("/home/u/OneDrive/A/", "/home/u/OneDrive/"), "A");
  EXPECT_EQ(CloudRelativePath("/home/u/OneDrive2/A", "/home/u/OneDrive"), "");
  EXPECT_EQ(CloudRelativePath("/home/u/OneDrive", "/home/u/OneDrive"), "");
  EXPECT_EQ(CloudRelativePath("/elsewhere/A", "/home/u/OneDrive"), "");
}

TEST_F(DefaultSettingsTest, FrameRateAndQualityAreLimitedAndSaved) {
  for (const auto& [typed, saved] : std::vector<std::pair<std::string, std::string>>{
           {"0", "1"}, {"500", "120"}, {"99999999999", "120"}}) {
    auto dialog = Open();
    dialog->fpsEdit()->setText(QString::fromStdString(typed));
    dialog->OnOK();
    EXPECT_EQ(Stored("DefaultFPS"), saved) << typed;
    EXPECT_EQ(host_.fps, std::stoi(saved));
  }
  Store("DefaultCRF", "18");
  auto medium = Open();
  EXPECT_EQ(medium->qualityList()->currentText(), "Medium");
  medium->OnOK();
  EXPECT_EQ(Stored("DefaultCRF"), "20");
  EXPECT_EQ(host_.crf, 20);
  Store("DefaultCRF", "7");
  EXPECT_EQ(Open()->qualityList()->currentText(), "Very Small");
}

TEST_F(DefaultSettingsTest, OkWritesTheBoxesAndTellsTheWindow) {
  auto dialog = Open();
  dialog->box("ShowRecordingControlsOnDesktop")->setChecked(true);
  dialog->box("UseSeparateAudioVideoRecording")->setChecked(true);
  dialog->box("MinimizeToTray")->setChecked(true);
  dialog->OnOK();
  EXPECT_EQ(Stored("ShowRecordingControlsOnDesktop"), "TRUE");
  EXPECT_EQ(Stored("UseSeparateAudioVideoRecording"), "TRUE");
  EXPECT_EQ(Stored("MinimizeToTray"), "TRUE");
  EXPECT_EQ(Stored("PauseRecordingWhenActivated"), "FALSE");
  EXPECT_TRUE(host_.separateFlag);
  EXPECT_EQ(host_.reloads, 1);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  // Reset clears everything but writes nothing before OK.
  auto reset = Open();
  reset->OnResetToDefaults();
  EXPECT_EQ(reset->fpsEdit()->text(), "10");
  EXPECT_EQ(reset->qualityList()->currentText(), "Very Small");
  EXPECT_FALSE(reset->box("ShowRecordingControlsOnDesktop")->isChecked());
  EXPECT_EQ(Stored("ShowRecordingControlsOnDesktop"), "TRUE");
}

TEST_F(DefaultSettingsTest, LoggingActsAtOnceAndCancelKeepsIt) {
  Store("LoggingEnabled", "1");
  auto dialog = Open();
  ASSERT_TRUE(dialog->box("LoggingEnabled")->isChecked());
  dialog->box("LoggingEnabled")->click();
  dialog->reject();
  EXPECT_EQ(Stored("LoggingEnabled"), "FALSE");
  EXPECT_EQ(host_.reloads, 1);
  EXPECT_TRUE(host_.events.empty());
  auto again = Open();
  again->box("LoggingEnabled")->click();
  EXPECT_EQ(Stored("LoggingEnabled"), "TRUE");
  ASSERT_EQ(host_.events.size(), 1u);
  EXPECT_NE(host_.events[0].find("Event logging enabled"), std::string::npos);
  again->viewLogsButton()->click();
  EXPECT_EQ(host_.viewerOpened, 1);
}

TEST_F(DefaultSettingsTest, CloudControlsFollowTheBoxAndOkKeepsTheStoredDriveWhenOff) {
  Store("CloudDriveType", "OneDrive");
  Store("CloudFolderPath", "Team/Videos");
  auto dialog = Open();
  EXPECT_TRUE(dialog->driveList()->isHidden());
  EXPECT_EQ(dialog->driveList()->currentText(), "OneDrive");
  EXPECT_EQ(dialog->folderEdit()->text(), "Team/Videos");
  dialog->driveList()->setCurrentIndex(0);
  dialog->OnOK();
  EXPECT_EQ(Stored("CloudDriveType"), "OneDrive");
  EXPECT_EQ(Stored("CloudFolderPath"), "Team/Videos");
  EXPECT_EQ(Stored("AutoSaveToCloud"), "FALSE");

  auto on = Open();
  on->box("AutoSaveToCloud")->click();
  EXPECT_FALSE(on->driveList()->isHidden());
  // A drive change starts the folder anew for that drive.
  on->driveList()->setCurrentIndex(2);
  EXPECT_EQ(on->folderEdit()->text(), "");
  on->OnOK();
  EXPECT_EQ(prompts_.LastText(), "Selected path does not exist. Please select a valid folder.");
  EXPECT_NE(on->result(), QDialog::Accepted);
  EXPECT_EQ(Stored("CloudDriveType"), "OneDrive");
  on->driveList()->setCurrentIndex(0);
  EXPECT_EQ(on->folderEdit()->text(), "Orvex/Recordings");
  on->OnOK();
  EXPECT_EQ(Stored("CloudDriveType"), "Google Drive");
  EXPECT_EQ(Stored("CloudFolderPath"), "Orvex/Recordings");
}

TEST_F(DefaultSettingsTest, TheFolderButtonKeepsFoldersInsideTheDrive) {
  const std::filesystem::path home = dir_.path();
  std::filesystem::create_directories(home / "OneDrive/A/B");
  std::filesystem::create_directories(home / "OneDrive2/A");
  Store("AutoSaveToCloud", "TRUE");
  Store("CloudDriveType", "OneDrive");
  auto dialog = Open();
  prompts_.pickAnswers = {(home / "ONEDRIVE/A/B").string()};
  dialog->OnChooseCloudFolder();
  EXPECT_EQ(dialog->folderEdit()->text(), "A/B");
  EXPECT_EQ(prompts_.picks.back(), "folder:Select a folder within your cloud drive:");
  prompts_.pickAnswers = {(home / "OneDrive2/A").string()};
  dialog->OnChooseCloudFolder();
  EXPECT_EQ(prompts_.LastText(), "Selected folder is not within the cloud drive root.");
  EXPECT_EQ(dialog->folderEdit()->text(), "A/B");

  // No root: Yes, then the root and a folder inside it.
  std::filesystem::create_directories(home / "elsewhere/Drive/Sub");
  dialog->driveList()->setCurrentIndex(0);  // Google Drive, not in the home folder
  prompts_.answers = {true};
  prompts_.pickAnswers = {(home / "elsewhere/Drive").string(), (home / "elsewhere/Drive/Sub").string()};
  dialog->OnChooseCloudFolder();
  EXPECT_EQ(prompts_.shown.back().text,
            "Could not find Google Drive folder. Would you like to browse and select the Google Drive root folder?");
  EXPECT_EQ(Stored("CloudDriveRootPath_Google Drive"), (home / "elsewhere/Drive").string());
  EXPECT_EQ(dialog->folderEdit()->text(), "Sub");
}

TEST_F(DefaultSettingsTest, TheStartWithTheSessionEntryFollowsItsBox) {
  Store("AutomaticStart", "TRUE");
  const std::string program = dir_ / "my apps/OrvexLite";
  auto dialog = Open(program);
  // Opening alone brings the missing entry back.
  const std::string entry = ReadFile(dir_ / "autostart/OrvexLite.desktop");
  EXPECT_NE(entry.find("Exec=\"" + program + "\"\n"), std::string::npos) << entry;
  EXPECT_EQ(store_.ReadValue(kRunKey, "OrvexLite"), program);
  dialog->box("AutomaticStart")->click();
  EXPECT_FALSE(std::filesystem::exists(dir_ / "autostart/OrvexLite.desktop"));

  // A folder that cannot be made: the message, and the box cleared again.
  std::filesystem::remove_all(dir_ / "autostart");
  std::ofstream(dir_ / "autostart") << "a file in the folder's place";
  dialog->box("AutomaticStart")->click();
  EXPECT_FALSE(dialog->box("AutomaticStart")->isChecked());
  EXPECT_EQ(prompts_.LastText(), "Failed to add Orvex to Windows startup. Please try again.");
  EXPECT_EQ(prompts_.shown.back().title, "Error");
}

TEST(DesktopExecValue, QuotesWhatTheRulesReserveAndReadsItBack) {
  EXPECT_EQ(DesktopExecValue("/usr/bin/OrvexLite"), "/usr/bin/OrvexLite");
  EXPECT_EQ(DesktopExecValue("/opt/my apps/OrvexLite"), "\"/opt/my apps/OrvexLite\"");
  EXPECT_EQ(DesktopExecValue("/opt/a$b/100%"), "\"/opt/a\\\\$b/100%%\"");
  for (const std::string path : {"/usr/bin/OrvexLite", "/opt/my apps/OrvexLite", "/opt/a$b/100%", "/x/\"q\"/y\\z"})
    EXPECT_EQ(ProgramPathOfExecValue(DesktopExecValue(path)), path);
}

}  // namespace
