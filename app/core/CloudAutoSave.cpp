#include "core/CloudAutoSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <vector>

#include "core/CloudDrive.h"
#include "platform/DebugChannel.h"

namespace fs = std::filesystem;

namespace orvex {

namespace {

constexpr int kWaitSteps = 30;
constexpr int kSearchEvery = 5;

bool Exists(const fs::path& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

// The newest regular file in the folder whose name starts with the prefix and
// ends with ".mp4".
std::optional<fs::path> NewestMatch(const fs::path& folder, const std::string& prefix) {
  std::error_code error;
  std::optional<fs::path> newest;
  fs::file_time_type newestTime;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const std::string name = it->path().filename().string();
    if (name.size() < prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - 4, 4, ".mp4") != 0)
      continue;
    const fs::file_time_type written = it->last_write_time(error);
    if (error) continue;
    if (!newest || written > newestTime) {
      newest = it->path();
      newestTime = written;
    }
  }
  return newest;
}

bool Sleep(const std::atomic<bool>& stop, int ms) {
  constexpr int kSliceMs = 50;  // a program that closes waits no longer than this
  for (int waited = 0; waited < ms && !stop; waited += kSliceMs)
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, ms - waited)));
  return !stop;
}

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

}  // namespace

const char* CloudSaveFailureText(int reason) {
  switch (reason) {
    case kCloudFileNotFound: return "Recording file not found for cloud save";
    case kCloudDriveNotFound: return "Cloud drive not found";
    case kCloudFolderFailed: return "Failed to create cloud folder";
    default: return "Auto-save to cloud failed";
  }
}

int CopyIntoPlace(const std::string& source, const std::string& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return errno;
  const fs::path targetPath(target);
  std::string temporary = (targetPath.parent_path() / ("." + targetPath.filename().string() + ".copy-XXXXXX")).string();
  const int out = ::mkstemp(temporary.data());
  if (out < 0) {
    const int error = errno;
    ::close(in);
    return error;
  }
  ::fchmod(out, 0644);
  int error = 0;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    if ((error = WriteAll(out, buffer.data(), static_cast<size_t>(got))) != 0) break;
  }
  // The drive's client uploads what it finds: only a whole, synced file
  // takes the target's name.
  if (error == 0 && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && error == 0) error = errno;
  ::close(in);
  if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.c_str());
  return error;
}

int CloudAutoSaveWorker(const CloudAutoSaveJob& job, const std::atomic<bool>& stop) {
  if (!job.cloud.autoSave || job.cloud.driveType.empty()) return 0;
  fs::path expected = job.expected;
  const fs::path dir = expected.parent_path();
  const std::string name = expected.filename().string();
  // "Take_7-3-2025-....mp4": later recordings of the same name share "Take_".
  const size_t underscore = name.find('_');
  const std::optional<std::string> prefix =
      underscore != std::string::npos && underscore > 0 ? std::optional(name.substr(0, underscore + 1)) : std::nullopt;

  // The engine finishes the file after the stop returns: copy only a complete one.
  if (job.waitForRecording && !job.waitForRecording()) return 0;

  if (!Exists(expected)) {
    if (const auto found = NewestMatch(dir, prefix.value_or(""))) {
      expected = *found;
      DebugOutput(Printf("Auto-save: Found actual file (different from expected): %s\n", expected.c_str()));
    }
  }
  for (int wait = 1; wait <= kWaitSteps && !Exists(expected); ++wait) {
    if (!Sleep(stop, job.waitStepMs)) return 0;
    if (prefix && wait % kSearchEvery == 0)
      if (const auto found = NewestMatch(dir, *prefix)) {
        expected = *found;
        break;
      }
  }
  if (!Exists(expected)) {
    DebugOutput(Printf("Auto-save: Output file not found after waiting: Expected=%s, Searched in=%s\n",
                       expected.c_str(), dir.c_str()));
    job.failed(kCloudFileNotFound);
    return 1;
  }

  fs::path destination;
  const std::string& type = job.cloud.driveType;
  if (type != kOtherCloudDrive) {
    const std::string root = job.findDriveRoot ? job.findDriveRoot(type) : "";
    DebugOutput(Printf("Auto-save: Detected cloud drive path for %s: %s\n", type.c_str(), root.c_str()));
    if (root.empty()) {
      DebugOutput(Printf("Auto-save: Cloud drive path not found for: %s\n", type.c_str()));
      job.failed(kCloudDriveNotFound);
      return 1;
    }
    // The folder is written with "/", this platform's own separator.
    destination = fs::path(root) / fs::path(job.cloud.folderPath).relative_path();
  } else {
    destination = job.cloud.folderPath;
    std::error_code ignored;
    if (job.cloud.folderPath.empty() || !fs::is_directory(destination, ignored)) {
      DebugOutput(Printf("Auto-save: Selected folder path does not exist: %s\n", job.cloud.folderPath.c_str()));
      job.failed(kCloudDriveNotFound);
      return 1;
    }
  }
  if (job.dateFolders) destination /= expected.parent_path().filename();

  std::error_code error;
  fs::create_directories(destination, error);
  if (error) {
    DebugOutput(Printf("Failed to create cloud directory: %s (Error: %d)\n", destination.c_str(), error.value()));
    job.failed(kCloudFolderFailed);
    return 1;
  }
  const fs::path target = destination / expected.filename();
  // The recording itself is never changed: a target that is the recording is
  // already where it belongs.
  std::error_code same;
  if (!fs::equivalent(target, expected, same) || same) {
    if (const int copyError = CopyIntoPlace(expected.string(), target.string()); copyError != 0) {
      DebugOutput(Printf("CopyFile failed with error: %d\n", copyError));
      DebugOutput(Printf("Failed to auto-save recording to cloud: %s\n", target.c_str()));
      job.failed(kCloudCopyFailed);
      return 1;
    }
  }
  DebugOutput(Printf("Auto-saved recording to cloud: %s\n", target.c_str()));
  job.done();
  return 0;
}

}  // namespace orvex
