// Copies a finished recording into the cloud drive's folder, on a worker
// thread that the stop of every recording starts. It works on its own copy of
// the settings and reaches the window only through the two callbacks.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "core/Settings.h"

namespace orvex {

// Why an auto-save failed, as the window reports it.
enum CloudSaveFailure { kCloudFileNotFound = 1, kCloudDriveNotFound = 2, kCloudFolderFailed = 3, kCloudCopyFailed = 4 };
// The status text of a failure reason; any unknown reason is a failed copy.
const char* CloudSaveFailureText(int reason);

struct CloudAutoSaveJob {
  CloudSettings cloud;
  bool dateFolders = false;
  std::string expected;    // the stopped recording's path
  // The drive's root (GetCloudDrivePath), asked once the file is complete.
  std::function<std::string(const std::string& driveType)> findDriveRoot;
  // Returns once the recording's file is complete (the engine has closed it),
  // or false when the wait was given up because the program is closing.
  std::function<bool()> waitForRecording;
  // The wait for a recording file that is not there yet: 30 steps of this
  // length (15 s); tests shorten it.
  int waitStepMs = 500;
  std::function<void(int reason)> failed;
  std::function<void()> done;
};

// Steps of the worker, 0 on success or nothing to do, 1 on failure. `stop`
// ends the waits early (the program is closing).
int CloudAutoSaveWorker(const CloudAutoSaveJob& job, const std::atomic<bool>& stop);

// Copies source to target through a temporary file beside the target, which
// takes the target's name only when complete: a failed copy leaves an earlier
// target untouched and no temporary file. 0, or the errno of the failure.
int CopyIntoPlace(const std::string& source, const std::string& target);

}  // namespace orvex
