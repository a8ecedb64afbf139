#include "platform/KnownFolders.h"

#include <QStandardPaths>
#include <cstdlib>

namespace orvex {

std::string RoamingAppDataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return data;
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share";
  return "";
}

std::string DocumentsFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
}

}  // namespace orvex
