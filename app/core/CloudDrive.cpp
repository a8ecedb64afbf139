#include "core/CloudDrive.h"

#include <QDir>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "core/Settings.h"
#include "platform/DebugChannel.h"

namespace orvex {

const char* const kCloudDriveTypes[3] = {"Google Drive", "OneDrive", kOtherCloudDrive};

namespace {

bool IsFolder(const std::string& path) {
  std::error_code ignored;
  return !path.empty() && std::filesystem::is_directory(path, ignored);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

}  // namespace

std::string GetCloudDrivePath(const Settings& settings, const std::string& driveType, const std::string& homeFolder) {
  if (const auto custom = settings.ReadText("CloudDriveRootPath_" + driveType); custom && IsFolder(*custom)) {
    DebugOutput(Printf("GetCloudDrivePath: Using custom path from registry for %s: %s\n", driveType.c_str(),
                       custom->c_str()));
    return *custom;
  }
  if (homeFolder.empty()) return "";
  const std::string home = homeFolder.back() == '/' ? homeFolder : homeFolder + "/";
  if (driveType == "Google Drive") {
    const std::string stream = home + "Google Drive File Stream/My Drive";
    if (IsFolder(stream)) {
      DebugOutput(Printf("GetCloudDrivePath: Found Google Drive File Stream at default location: %s\n",
                         stream.c_str()));
      return stream;
    }
    if (IsFolder(home + "Google Drive")) return home + "Google Drive";
  } else if (driveType == "OneDrive") {
    if (IsFolder(home + "OneDrive")) return home + "OneDrive";
  } else if (driveType == "Dropbox") {
    if (IsFolder(home + "Dropbox")) return home + "Dropbox";
  }
  return "";
}

std::string GetCloudDrivePath(const Settings& settings, const std::string& driveType) {
  return GetCloudDrivePath(settings, driveType, QDir::homePath().toStdString());
}

std::string CloudRelativePath(const std::string& chosen, const std::string& root) {
  std::string base = root;
  while (base.size() > 1 && (base.back() == '/' || base.back() == '\\')) base.pop_back();
  if (chosen.size() <= base.size() + 1 || Lower(chosen.substr(0, base.size())) != Lower(base)) return "";
  const char separator = chosen[base.size()];
  if (separator != '/' && separator != '\\') return "";
  std::string rest = chosen.substr(base.size() + 1);
  std::replace(rest.begin(), rest.end(), '\\', '/');
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return rest;
}

}  // namespace orvex
