// The settings rules: flags, numbers, defaults, long values, the first run and
// the factory reset, on a temporary store.
#include <gtest/gtest.h>

#include <filesystem>

#include "Processes.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::TempDir;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  Settings settings_{store_};
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
};

TEST_F(SettingsTest, NumbersTakeTheirDefaultsOutsideTheirRanges) {
  Store("MusicVolume", "150");
  EXPECT_EQ(LoadMusicSettings(settings_).volume, 30);
  Store("MusicVolume", "0");
  EXPECT_EQ(LoadMusicSettings(settings_).volume, 0);
  Store("MusicVolume", "abc");
  EXPECT_EQ(LoadMusicSettings(settings_).volume, 0);
  Store("MusicVolume", "-5");
  EXPECT_EQ(LoadMusicSettings(settings_).volume, 30);
  Store("MusicVolume", "77%");
  EXPECT_EQ(LoadMusicSettings(settings_).volume, 77);

  for (const char* fps : {"0", "121"}) {
    Store("DefaultFPS", fps);
    EXPECT_EQ(LoadRecordingDefaults(settings_).fps, 10) << fps;
  }
  Store("DefaultFPS", "120");
  EXPECT_EQ(LoadRecordingDefaults(settings_).fps, 120);
  Store("DefaultCRF", "9");
  EXPECT_EQ(LoadRecordingDefaults(settings_).crf, 30);
  Store("DefaultCRF", "10");
  EXPECT_EQ(LoadRecordingDefaults(settings_).crf, 10);
  Store("MaxNoOfFiles", "0");
  EXPECT_EQ(LoadRecordingDefaults(settings_).maxRecentFiles, 10);
  Store("MaxNoOfFiles", "500");
  EXPECT_EQ(LoadRecordingDefaults(settings_).maxRecentFiles, 500);
}

TEST_F(SettingsTest, OnlyExactTrueIsSet) {
  for (const char* text : {"true", "TRUE ", "1", "True", ""}) {
    Store("PauseRecordingWhenActivated", text);
    EXPECT_FALSE(LoadRecordingDefaults(settings_).pauseWhenActivated) << '"' << text << '"';
  }
  Store("PauseRecordingWhenActivated", "TRUE");
  EXPECT_TRUE(LoadRecordingDefaults(settings_).pauseWhenActivated);
  EXPECT_FALSE(settings_.ReadFlag("NeverWritten"));
}

TEST_F(SettingsTest, PlaybackNeedsMusicOnLoadAndOnSave) {
  Store("EnableBkgMusic", "FALSE");
  Store("PlayBkgMusicToDefaultDevice", "TRUE");
  MusicSettings music = LoadMusicSettings(settings_);
  EXPECT_FALSE(music.playToDefaultDevice);
  music.playToDefaultDevice = true;  // as a control might still show it
  SaveMusicSettings(settings_, music);
  EXPECT_EQ(store_.ReadValue(kRootKey, "PlayBkgMusicToDefaultDevice"), "FALSE");
}

TEST_F(SettingsTest, LongPathsSurviveALoadAndSave) {
  const std::string folder = "/home/someone/" + std::string(106, 'f');
  const std::string musicFile = "/home/someone/music/" + std::string(150, 'm') + ".mp3";
  ASSERT_EQ(folder.size(), 120u);
  Store("FolderPath", folder);
  Store("MusicFilePath", musicFile);
  Store("EnableBkgMusic", "TRUE");
  MainSettings main;
  ASSERT_TRUE(LoadMainSettings(settings_, main));
  EXPECT_EQ(main.folderPath, folder);
  SaveMainSettings(settings_, main, LoadMusicSettings(settings_));
  EXPECT_EQ(store_.ReadValue(kRootKey, "FolderPath"), folder);
  EXPECT_EQ(store_.ReadValue(kRootKey, "MusicFilePath"), musicFile);
}

TEST_F(SettingsTest, SaveWritesTheMainGroupAndKeepsTheMinimiseFlag) {
  Store("MinimizeToTray", "TRUE");
  MainSettings main;
  main.folderPath = "/rec";
  main.defaultFileName = "Clip";
  main.recordAudio = 1;
  main.cameraSize = 321;
  main.minimizeToTray = 0;  // the save re-reads the stored flag instead
  SaveMainSettings(settings_, main, MusicSettings());
  EXPECT_EQ(store_.ReadValue(kRootKey, "MinimizeToTray"), "TRUE");
  EXPECT_EQ(store_.ReadValue(kRootKey, "RecordAudio"), "TRUE");
  EXPECT_EQ(store_.ReadValue(kRootKey, "CameraSize"), "321");
  EXPECT_EQ(store_.ReadValue(kRootKey, "DateFormat"), "MM-dd-yyyy");
  EXPECT_EQ(store_.ReadValue(kRootKey, "MusicVolume"), "30");
  // Music first, then the main group in its order.
  EXPECT_EQ(store_.EnumValue(kRootKey, 1)->first, "EnableBkgMusic");
  EXPECT_EQ(store_.EnumValue(kRootKey, 6)->first, "FolderPath");

  MainSettings loaded;
  ASSERT_TRUE(LoadMainSettings(settings_, loaded));
  EXPECT_EQ(loaded.defaultFileName, "Clip");
  EXPECT_EQ(loaded.recordAudio, 1);
  EXPECT_EQ(loaded.cameraSize, 321);
  EXPECT_EQ(NormalizeDateFormat("dd-MMM-yyyy"), "dd-MMM-yyyy");
  EXPECT_EQ(NormalizeDateFormat("yyyy"), "MM-dd-yyyy");
}

TEST_F(SettingsTest, EmptyRootKeyIsAFirstRun) {
  MainSettings main;
  EXPECT_FALSE(LoadMainSettings(settings_, main));
  EXPECT_TRUE(store_.KeyExists(kRootKey));  // reading created the root key
  const std::string documents = dir_ / "Documents";
  const std::string folder = FirstRunFolder(documents);
  EXPECT_EQ(folder, documents + "/OrvexLite");
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(LoadRecordingDefaults(settings_).fps, 10);
  EXPECT_EQ(LoadCloudSettings(settings_).folderPath, "Orvex/Recordings");
}

TEST_F(SettingsTest, FactoryResetLeavesAnEmptyRootKey) {
  Store("FolderPath", "/rec");
  Store("LoggingEnabled", "TRUE");
  store_.WriteValue(kStreamingServersKey, "Server0", "a|rtmp://x||1");
  store_.WriteValue(kRecentFilesKey, "File0", "/rec/a.mp4");
  store_.WriteValue(std::string(kRootKey) + "\\Schedules", "Count", "2");
  store_.WriteValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "OrvexLite", "/usr/bin/OrvexLite");
  DeleteAllSettings(store_);
  EXPECT_TRUE(store_.KeyExists(kRootKey));
  EXPECT_FALSE(store_.EnumValue(kRootKey, 0));
  EXPECT_FALSE(store_.EnumSubkey(kRootKey, 0));
  EXPECT_FALSE(store_.KeyExists(kStreamingServersKey));
  EXPECT_FALSE(store_.KeyExists(kRecentFilesKey));
  // Starting with the session is not a setting the reset touches.
  EXPECT_TRUE(store_.ReadValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "OrvexLite"));
}

}  // namespace
