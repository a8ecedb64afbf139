#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "platform/DesktopLauncher.h"

namespace orvex {

bool QtDesktopLauncher::Open(const std::string& urlOrPath) {
  const QString text = QString::fromStdString(urlOrPath);
  const QUrl url = QFileInfo(text).isAbsolute() ? QUrl::fromLocalFile(text) : QUrl(text);
  return QDesktopServices::openUrl(url);
}

bool QtDesktopLauncher::StartProgram(const std::string& program, const std::vector<std::string>& arguments) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  return QProcess::startDetached(QString::fromStdString(program), list);
}

std::string QtDesktopLauncher::FindProgram(const std::string& name) {
  return QStandardPaths::findExecutable(QString::fromStdString(name)).toStdString();
}

bool StartFirstTool(DesktopLauncher& launcher, const std::vector<ToolCommand>& tools) {
  for (const ToolCommand& tool : tools) {
    const std::string path = launcher.FindProgram(tool.program);
    if (!path.empty() && launcher.StartProgram(path, tool.arguments)) return true;
  }
  return false;
}

bool OpenSoundControlPanel(DesktopLauncher& launcher) {
  return StartFirstTool(launcher, {{"pavucontrol", {}}, {"gnome-control-center", {"sound"}}});
}

bool OpenScreenshotTool(DesktopLauncher& launcher) {
  return StartFirstTool(launcher, {{"gnome-screenshot", {"-i"}}, {"spectacle", {}}, {"flameshot", {"gui"}}});
}

bool OpenPaintTool(DesktopLauncher& launcher) {
  return StartFirstTool(launcher, {{"kolourpaint", {}}, {"pinta", {}}, {"gimp", {}}});
}

}  // namespace orvex
