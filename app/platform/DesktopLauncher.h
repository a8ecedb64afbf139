// Opening URLs and files with the desktop's default programs, and starting
// programs: one seam so tests can see what would have been opened.
#pragma once

#include <string>
#include <vector>

namespace orvex {

class DesktopLauncher {
 public:
  virtual ~DesktopLauncher() = default;
  // A URL or a local path, opened with the desktop's default handler.
  virtual bool Open(const std::string& urlOrPath) = 0;
  // Starts a program detached from this process; false when it cannot start.
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) = 0;
  // The full path of a program found on PATH, or empty.
  virtual std::string FindProgram(const std::string& name) = 0;
};

// QDesktopServices, QProcess::startDetached and QStandardPaths.
class QtDesktopLauncher : public DesktopLauncher {
 public:
  bool Open(const std::string& urlOrPath) override;
  bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override;
  std::string FindProgram(const std::string& name) override;
};

// A desktop tool and its arguments.
struct ToolCommand {
  const char* program;
  std::vector<std::string> arguments;
};
// Starts the first of the tools found on PATH; false when none starts.
bool StartFirstTool(DesktopLauncher& launcher, const std::vector<ToolCommand>& tools);

// The sound settings: pavucontrol, else GNOME's sound panel.
bool OpenSoundControlPanel(DesktopLauncher& launcher);
// A screen snip: gnome-screenshot's interactive mode, spectacle or flameshot.
bool OpenScreenshotTool(DesktopLauncher& launcher);
// A painting program: kolourpaint, pinta or gimp.
bool OpenPaintTool(DesktopLauncher& launcher);

}  // namespace orvex
