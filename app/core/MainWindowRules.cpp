#include "core/MainWindowRules.h"

#include <strings.h>

#include <chrono>
#include <regex>

#include "platform/DebugChannel.h"

#ifndef ORVEX_FILE_VERSION
#define ORVEX_FILE_VERSION ""
#endif

namespace orvex {

const char* const kCameraPlacements[9] = {"Top Left",    "Top Right",     "Bottom Left",
                                          "Bottom Right", "Top Center",   "Bottom Center",
                                          "Middle Left",  "Middle Right", "Center"};

namespace {

// The fixed sample date of the example: 12 May 2025.
constexpr int kSampleDay = 12, kSampleMonth = 5, kSampleYear = 2025;
constexpr const char kSampleMonthName[] = "May";
constexpr const char kVersionWithoutFile[] = "1.0.2.0";

}  // namespace

std::string DateExample(const std::string& format) {
  if (format == "MMM-dd-yyyy") return Printf("Example: %s-%02d-%04d", kSampleMonthName, kSampleDay, kSampleYear);
  if (format == "dd-MM-yyyy") return Printf("Example: %02d-%02d-%04d", kSampleDay, kSampleMonth, kSampleYear);
  if (format == "dd-MMM-yyyy") return Printf("Example: %02d-%s-%04d", kSampleDay, kSampleMonthName, kSampleYear);
  return Printf("Example: %02d-%02d-%04d", kSampleMonth, kSampleDay, kSampleYear);
}

int FindDeviceEntry(const std::vector<std::string>& entries, const std::string& stored) {
  for (size_t i = 0; i < entries.size(); ++i)
    if (strcasecmp(entries[i].c_str(), stored.c_str()) == 0) return static_cast<int>(i);
  for (size_t i = 0; i < entries.size(); ++i)
    if (strncasecmp(entries[i].c_str(), stored.c_str(), stored.size()) == 0) return static_cast<int>(i);
  return -1;
}

MusicControlState MusicControls(bool musicOn, bool advancedShown, bool recording, const std::string& musicFile,
                                int volume, bool keepMusicText) {
  MusicControlState state;
  const bool editable = musicOn && advancedShown;
  state.fileEnabled = editable;
  state.volumeEnabled = musicOn && (advancedShown || recording);
  state.playbackEnabled = musicOn;
  state.clearPlayback = !musicOn;
  if (editable && !musicFile.empty()) state.fileText = musicFile;
  else if (!keepMusicText) state.fileText = std::string();
  state.volumeText = Printf("%d%%", volume);
  return state;
}

std::string AboutVersionLine(const std::string& fileVersion) {
  static const std::regex kFourNumbers(R"((\d+)\.(\d+)\.(\d+)\.(\d+))");
  std::smatch parts;
  if (!std::regex_match(fileVersion, parts, kFourNumbers)) return "Ver " + fileVersion;
  int numbers[4];
  for (int i = 0; i < 4; ++i) numbers[i] = std::stoi(parts[i + 1]);
  if (numbers[3] == 0) return Printf("Ver %d.%d.%d", numbers[0], numbers[1], numbers[2]);
  return Printf("Ver %d.%d.%d.%d", numbers[0], numbers[1], numbers[2], numbers[3]);
}

std::string ProgramFileVersion() {
  std::string version = ORVEX_FILE_VERSION;
  if (version.empty()) return kVersionWithoutFile;
  // The build's version may have fewer than four numbers: pad with zeros.
  int numbers = 1;
  for (char c : version) numbers += c == '.';
  for (; numbers < 4; ++numbers) version += ".0";
  return version;
}

bool PauseOnActivation(bool optionOn, bool byClick, bool minimized, bool recording, bool paused) {
  return optionOn && !byClick && !minimized && recording && !paused;
}

long long SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string SystemStatsMeter::Update(const SystemTimes& sample) {
  if (!sample.timesOk || !previous_) {
    if (sample.timesOk) previous_ = sample;
    return Printf("CPU: App --%% , Total --%% | RAM: %d%%", sample.memoryLoadPercent);
  }
  const uint64_t total = (sample.kernel + sample.user) - (previous_->kernel + previous_->user);
  const uint64_t idle = sample.idle - previous_->idle;
  const uint64_t process =
      (sample.processKernel + sample.processUser) - (previous_->processKernel + previous_->processUser);
  const int totalPercent = total == 0 ? 0 : static_cast<int>((total - idle) * 100 / total);
  const int appPercent = total == 0 ? 0 : static_cast<int>(process * 100 / total);
  previous_ = sample;
  return Printf("CPU: App %d%% , Total %d%% | RAM: %d%%", appPercent, totalPercent, sample.memoryLoadPercent);
}

}  // namespace orvex
