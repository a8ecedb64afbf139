// The main window's rules, apart from any widget: date examples, device
// selection, the music controls' states, the About version line and the
// status bar's CPU and memory figures.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/SystemTimes.h"

namespace orvex {

// The nine overlay placements, in list order.
extern const char* const kCameraPlacements[9];

// "Example: 05-12-2025" and so on: the format applied to 12 May 2025;
// an unknown format shows the "MM-dd-yyyy" example.
std::string DateExample(const std::string& format);

// The entry to select for a stored device name: the one equal to it
// (ignoring case), else the first that begins with it, else -1.
int FindDeviceEntry(const std::vector<std::string>& entries, const std::string& stored);

struct MusicControlState {
  bool fileEnabled = false;      // music file edit and its "..." button
  bool volumeEnabled = false;    // slider and volume text
  bool playbackEnabled = false;  // playback check box and the sound panel button
  bool clearPlayback = false;    // music off: the playback flag is cleared
  // The music file edit's new text; nothing keeps what it shows.
  std::optional<std::string> fileText;
  std::string volumeText;  // "%d%%"
};
MusicControlState MusicControls(bool musicOn, bool advancedShown, bool recording, const std::string& musicFile,
                                int volume, bool keepMusicText);

// "Ver 1.0.18" for "1.0.18.0", "Ver 1.2.3.4", and "Ver x" for text that is
// not four numbers.
std::string AboutVersionLine(const std::string& fileVersion);
// The program's version as four numbers ("1.0.2.0" when it has none).
std::string ProgramFileVersion();

// Whether activating the main window pauses the recording: only when the
// option is on, the activation was not a click, the window is not
// minimised and an unpaused recording runs.
bool PauseOnActivation(bool optionOn, bool byClick, bool minimized, bool recording, bool paused);

// A steady clock in milliseconds, for telling events apart in time.
long long SteadyMs();

// Pane 2's text from successive samples of the system's times.
class SystemStatsMeter {
 public:
  std::string Update(const SystemTimes& sample);

 private:
  std::optional<SystemTimes> previous_;
};

}  // namespace orvex
