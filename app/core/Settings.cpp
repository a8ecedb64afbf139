#include "core/Settings.h"

#include <cctype>
#include <filesystem>

#include "platform/RegistryStore.h"

namespace orvex {

const char kRootKey[] = "SOFTWARE\\OrvexLite";
const char kRecentFilesKey[] = "SOFTWARE\\OrvexLite\\RecentFiles";
const char* const kDateFormats[4] = {"MM-dd-yyyy", "MMM-dd-yyyy", "dd-MM-yyyy", "dd-MMM-yyyy"};

namespace {

constexpr int kDefaultMusicVolume = 30;
constexpr const char kFirstRunFolderName[] = "OrvexLite";

const char* Flag(bool value) { return value ? "TRUE" : "FALSE"; }

}  // namespace

int LeadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 2147483647LL) value = 2147483647LL;
  }
  return static_cast<int>(negative ? -value : value);
}

bool IsSetFlag(const std::optional<std::string>& text) { return text && *text == "TRUE"; }

std::optional<std::string> Settings::ReadText(const std::string& name) const {
  store_.CreateKey(kRootKey);
  return store_.ReadValue(kRootKey, name);
}

bool Settings::ReadFlag(const std::string& name) const { return IsSetFlag(ReadText(name)); }

int Settings::ReadNumber(const std::string& name, int low, int high, int fallback) const {
  const auto text = ReadText(name);
  if (!text) return fallback;
  const int value = LeadingNumber(*text);
  return value >= low && value <= high ? value : fallback;
}

void Settings::WriteText(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
void Settings::WriteFlag(const std::string& name, bool value) { WriteText(name, Flag(value)); }
void Settings::WriteNumber(const std::string& name, int value) { WriteText(name, std::to_string(value)); }

std::string NormalizeDateFormat(const std::string& text) {
  for (const char* format : kDateFormats)
    if (text == format) return text;
  return kDateFormats[0];
}

bool LoadMainSettings(const Settings& settings, MainSettings& main) {
  bool any = false;
  auto text = [&](const char* name, std::string& into) {
    if (auto value = settings.ReadText(name)) {
      into = *value;
      any = true;
    }
  };
  auto flag = [&](const char* name, int& into) {
    if (auto value = settings.ReadText(name)) {
      into = IsSetFlag(value) ? 1 : 0;
      any = true;
    }
  };
  auto number = [&](const char* name, int& into) {  // taken as read, without range check
    if (auto value = settings.ReadText(name)) {
      into = LeadingNumber(*value);
      any = true;
    }
  };
  text("FolderPath", main.folderPath);
  text("DefaultOutfilename", main.defaultFileName);
  flag("RecordAudio", main.recordAudio);
  flag("CreateNewFileForEachRecord", main.newFilePerRecording);
  flag("MinimizeToTray", main.minimizeToTray);
  flag("RecordInDateFolders", main.dateFolders);
  text("DateFormat", main.dateFormat);
  text("SelectedMicrophone", main.microphone);
  flag("IncludeCamera", main.includeCamera);
  number("CameraAreaShape", main.cameraShape);
  number("CameraSize", main.cameraSize);
  text("SelectedCamera", main.camera);
  text("CameraPlacement", main.cameraPlacement);
  flag("ShowAdvancedOptions", main.showAdvanced);
  flag("EnableVideoStreaming", main.enableStreaming);
  main.servers = ReadStreamingServers(settings.store());
  return any;
}

void SaveMainSettings(Settings& settings, const MainSettings& main, const MusicSettings& music) {
  SaveMusicSettings(settings, music);
  settings.WriteText("FolderPath", main.folderPath);
  settings.WriteText("DefaultOutfilename", main.defaultFileName);
  settings.WriteFlag("RecordAudio", main.recordAudio);
  settings.WriteFlag("CreateNewFileForEachRecord", main.newFilePerRecording);
  settings.WriteFlag("MinimizeToTray", settings.ReadFlag("MinimizeToTray"));
  settings.WriteFlag("RecordInDateFolders", main.dateFolders);
  settings.WriteText("DateFormat", main.dateFormat.empty() ? kDateFormats[0] : main.dateFormat);
  settings.WriteText("SelectedMicrophone", main.microphone);
  settings.WriteFlag("IncludeCamera", main.includeCamera);
  settings.WriteNumber("CameraAreaShape", main.cameraShape);
  settings.WriteNumber("CameraSize", main.cameraSize);
  settings.WriteText("SelectedCamera", main.camera);
  settings.WriteText("CameraPlacement", main.cameraPlacement);
  settings.WriteFlag("ShowAdvancedOptions", main.showAdvanced);
  settings.WriteFlag("EnableVideoStreaming", main.enableStreaming);
}

MusicSettings LoadMusicSettings(const Settings& settings) {
  MusicSettings music;
  music.enabled = settings.ReadFlag("EnableBkgMusic");
  music.playToDefaultDevice = music.enabled && settings.ReadFlag("PlayBkgMusicToDefaultDevice");
  music.volume = settings.ReadNumber("MusicVolume", 0, 100, kDefaultMusicVolume);
  music.filePath = settings.ReadText("MusicFilePath").value_or("");
  music.separateAudioVideo = settings.ReadFlag("UseSeparateAudioVideoRecording");
  return music;
}

void SaveMusicSettings(Settings& settings, const MusicSettings& music) {
  settings.WriteFlag("EnableBkgMusic", music.enabled);
  settings.WriteFlag("PlayBkgMusicToDefaultDevice", music.enabled && music.playToDefaultDevice);
  settings.WriteText("MusicFilePath", music.filePath);
  settings.WriteNumber("MusicVolume", music.volume);
  settings.WriteFlag("UseSeparateAudioVideoRecording", music.separateAudioVideo);
}

RecordingDefaults LoadRecordingDefaults(const Settings& settings) {
  RecordingDefaults defaults;
  defaults.maxRecentFiles = settings.ReadNumber("MaxNoOfFiles", 1, 500, defaults.maxRecentFiles);
  defaults.fps = settings.ReadNumber("DefaultFPS", 1, 120, defaults.fps);
  defaults.crf = settings.ReadNumber("DefaultCRF", 10, 30, defaults.crf);
  defaults.pauseWhenActivated = settings.ReadFlag("PauseRecordingWhenActivated");
  return defaults;
}

CloudSettings LoadCloudSettings(const Settings& settings) {
  CloudSettings cloud;
  cloud.autoSave = settings.ReadFlag("AutoSaveToCloud");
  if (auto type = settings.ReadText("CloudDriveType")) cloud.driveType = *type;
  if (auto folder = settings.ReadText("CloudFolderPath")) cloud.folderPath = *folder;
  return cloud;
}

std::string FirstRunFolder(const std::string& documentsFolder) {
  const std::string folder = documentsFolder + "/" + kFirstRunFolderName;
  std::error_code ignored;  // a folder that cannot be made is shown anyway
  std::filesystem::create_directories(folder, ignored);
  return folder;
}

void DeleteAllSettings(RegistryStore& store) {
  store.DeleteKey(kStreamingServersKey);
  // Values: deleting one moves the next to this index; an entry that cannot
  // be deleted is stepped over.
  for (size_t index = 0;;) {
    const auto value = store.EnumValue(kRootKey, index);
    if (!value) break;
    if (!store.DeleteValue(kRootKey, value->first)) ++index;
  }
  for (size_t index = 0;;) {
    const auto subkey = store.EnumSubkey(kRootKey, index);
    if (!subkey) break;
    if (!store.DeleteKey(std::string(kRootKey) + "\\" + *subkey)) ++index;
  }
}

}  // namespace orvex
