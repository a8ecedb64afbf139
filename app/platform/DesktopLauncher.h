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

// Starts the first sound settings tool found on PATH; false when none starts.
bool OpenSoundControlPanel(DesktopLauncher& launcher);

}  // namespace orvex
