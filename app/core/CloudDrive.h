// Where a cloud drive's client keeps its local folder, and folders inside it.
// The program never talks to a cloud service: the vendor's client uploads
// what is copied into its folder.
#pragma once

#include <string>

namespace orvex {

class Settings;

// The drive types the settings know, in the dialog's list order.
extern const char* const kCloudDriveTypes[3];
constexpr char kOtherCloudDrive[] = "Other";
constexpr char kDefaultCloudFolder[] = "Orvex/Recordings";

// The local root of a drive type ("Google Drive", "OneDrive", "Dropbox"): a
// user-chosen "CloudDriveRootPath_<type>" that exists, else the client's
// usual folder in the home folder; empty when there is none.
std::string GetCloudDrivePath(const Settings& settings, const std::string& driveType,
                              const std::string& homeFolder);
// The same, in the user's own home folder.
std::string GetCloudDrivePath(const Settings& settings, const std::string& driveType);

// A chosen folder as a path inside the root ("A/B"), compared without regard
// to case; empty for the root itself or a folder outside it. The root must be
// followed by a separator: "~/Dropbox2" is not inside "~/Dropbox".
std::string CloudRelativePath(const std::string& chosen, const std::string& root);

}  // namespace orvex
