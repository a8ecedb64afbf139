// The application's settings under the registry root key, with the store's
// rules: flags are exactly "TRUE", numbers are leading digits tested against a
// range, and a missing or invalid value takes its default.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/StreamingServers.h"

namespace orvex {

class RegistryStore;

extern const char kRootKey[];
extern const char kRecentFilesKey[];

// The leading decimal number of a text ("42abc" is 42, "abc" is 0).
int LeadingNumber(const std::string& text);
// Exactly "TRUE" is set; anything else, or nothing, is not.
bool IsSetFlag(const std::optional<std::string>& text);

// Values directly under the root key. Every read opens the root key and
// creates it when missing, as the program's read paths do.
class Settings {
 public:
  explicit Settings(RegistryStore& store) : store_(store) {}
  std::optional<std::string> ReadText(const std::string& name) const;
  bool ReadFlag(const std::string& name) const;
  // The number when stored and within [low, high], else the fallback.
  int ReadNumber(const std::string& name, int low, int high, int fallback) const;
  void WriteText(const std::string& name, const std::string& value);
  void WriteFlag(const std::string& name, bool value);
  void WriteNumber(const std::string& name, int value);
  RegistryStore& store() const { return store_; }

 private:
  RegistryStore& store_;
};

// The main window's record of its main group of values.
struct MainSettings {
  std::string folderPath;
  std::string defaultFileName;
  int recordAudio = 0;
  int newFilePerRecording = 0;
  int minimizeToTray = 0;
  int dateFolders = 0;
  std::string dateFormat;
  std::string microphone;
  int includeCamera = 0;
  int cameraShape = 0;
  int cameraSize = 200;
  std::string camera;
  std::string cameraPlacement;
  int showAdvanced = 0;
  int enableStreaming = 0;
  std::vector<StreamingServer> servers;
};

struct MusicSettings {
  bool enabled = false;
  bool playToDefaultDevice = false;
  int volume = 30;
  std::string filePath;
  bool separateAudioVideo = false;
};

struct RecordingDefaults {
  int maxRecentFiles = 10;
  int fps = 10;
  int crf = 30;
  bool pauseWhenActivated = false;
};

struct CloudSettings {
  bool autoSave = false;
  std::string driveType;
  std::string folderPath = "Orvex/Recordings";
};

// The four date-folder formats, in list order.
extern const char* const kDateFormats[4];
// One of the formats, "MM-dd-yyyy" for empty or unknown text.
std::string NormalizeDateFormat(const std::string& text);

// True when at least one main value was stored; the server list is read too.
bool LoadMainSettings(const Settings& settings, MainSettings& main);
// Writes the music group, then the main group (the minimise flag is written
// back as stored, so this save never changes it). Servers are not written.
void SaveMainSettings(Settings& settings, const MainSettings& main, const MusicSettings& music);
MusicSettings LoadMusicSettings(const Settings& settings);
void SaveMusicSettings(Settings& settings, const MusicSettings& music);
RecordingDefaults LoadRecordingDefaults(const Settings& settings);
CloudSettings LoadCloudSettings(const Settings& settings);

// "<documents>/OrvexLite", created when missing: the first run's folder.
std::string FirstRunFolder(const std::string& documentsFolder);

// The deletion steps of the factory reset: the servers' key, every root
// value, then every remaining subkey. The root key itself stays.
void DeleteAllSettings(RegistryStore& store);

}  // namespace orvex
