// The recording controls toolbar's rules: where it stands, where its three
// buttons are, and what each button shows in each recording state.
#pragma once

#include <QRect>

namespace orvex {

constexpr int kToolbarWidth = 80, kToolbarHeight = 220;
constexpr int kToolbarButtonSize = 60;
enum ToolbarButton { kStartStopButton = 0, kPauseResumeButton = 1, kSettingsButton = 2 };

// The toolbar's place at the right edge of a primary screen of this size.
QRect ToolbarRect(int screenWidth, int screenHeight);
// A button's place inside the toolbar.
QRect ToolbarButtonRect(ToolbarButton button);

enum class ToolbarPicture { Start, Stop, Pause, Resume };

struct ToolbarButtonStates {
  ToolbarPicture startStop;
  const char* startStopTip;
  ToolbarPicture pauseResume;
  const char* pauseResumeTip;
  bool pauseResumeEnabled;
};
ToolbarButtonStates ToolbarStates(bool recording, bool paused);

// The toolbar shows only where it cannot be recorded: no recording runs, or
// the running one is paused.
inline bool ToolbarMayShow(bool recording, bool paused) { return !recording || paused; }

}  // namespace orvex
