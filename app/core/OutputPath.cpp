#include "core/OutputPath.h"

#include <QDir>

#include "platform/DebugChannel.h"

namespace orvex {

namespace {

// Fixed English abbreviations, whatever the user's locale.
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Combine(const std::string& folder, const std::string& part) {
  return QDir::cleanPath(QString::fromStdString(folder) + "/" + QString::fromStdString(part)).toStdString();
}

}  // namespace

std::string DateFolderName(const std::string& format, const QDate& date) {
  const char* month = kMonths[date.month() - 1];
  if (format == "MMM-dd-yyyy") return Printf("%s-%02d-%04d", month, date.day(), date.year());
  if (format == "dd-MM-yyyy") return Printf("%02d-%02d-%04d", date.day(), date.month(), date.year());
  if (format == "dd-MMM-yyyy") return Printf("%02d-%s-%04d", date.day(), month, date.year());
  return Printf("%02d-%02d-%04d", date.month(), date.day(), date.year());
}

std::string ComposeOutputPath(const OutputPathOptions& options, const QDateTime& localNow) {
  std::string folder = options.folder;
  if (options.dateFolders) {
    folder = Combine(folder, DateFolderName(options.dateFormat, localNow.date()));
    // One level only; a failure shows when the engine cannot open the file.
    QDir().mkdir(QString::fromStdString(folder));
  }
  std::string path = Combine(folder, options.name);
  if (options.newFilePerRecording) {
    const QDate date = localNow.date();
    const QTime time = localNow.time();
    path += Printf("_%d-%d-%d-%d-%d-%d-%d", date.day(), date.month(), date.year(), time.hour(), time.minute(),
                   time.second(), time.msec());
  }
  return path + ".mp4";
}

}  // namespace orvex
