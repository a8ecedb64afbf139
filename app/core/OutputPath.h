// The output file of a recording that starts now: folder, optional date
// folder, base name, optional time stamp, ".mp4".
#pragma once

#include <QDateTime>
#include <string>

namespace orvex {

struct OutputPathOptions {
  std::string folder;
  std::string name;
  bool dateFolders = false;
  std::string dateFormat;  // one of the four formats; others count as "MM-dd-yyyy"
  bool newFilePerRecording = false;
};

// The date folder's name for the format ("03-07-2025", "07-Mar-2025", ...).
std::string DateFolderName(const std::string& format, const QDate& date);

// Joins with "/" and resolves "." and ".." (no length limit). With date
// folders, that one folder is created (its parents are not).
std::string ComposeOutputPath(const OutputPathOptions& options, const QDateTime& localNow);

}  // namespace orvex
