// The cloud copy of a finished recording: where each drive's folder is found,
// which file is taken, and a copy that never destroys an earlier good one.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Fixtures.h"
#include "core/CloudAutoSave.h"
#include "core/CloudDrive.h"
#include "core/RecordingController.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

void Write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

class CloudAutoSaveTest : public ::testing::Test {
 protected:
  // A job that records what it reports; the drive's root is looked up in the test's home.
  CloudAutoSaveJob Job(const std::string& type, const std::string& folder, const fs::path& expected) {
    CloudAutoSaveJob job;
    job.cloud = {true, type, folder};
    job.expected = expected;
    job.findDriveRoot = [this](const std::string& driveType) {
      return GetCloudDrivePath(Settings(store_), driveType, home_);
    };
    job.failed = [this](int reason) { failures_.push_back(reason); };
    job.done = [this] { ++done_; };
    return job;
  }
  std::vector<fs::path> Files(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path().filename());
    return files;
  }

  TempDir dir_;
  std::string home_ = dir_ / "home";
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  std::atomic<bool> stop_{false};
  std::vector<int> failures_;
  int done_ = 0;
};

TEST_F(CloudAutoSaveTest, EachDriveIsFoundInTheHomeFolderOrAtTheUsersRoot) {
  Settings settings(store_);
  EXPECT_EQ(GetCloudDrivePath(settings, "OneDrive", home_), "");
  fs::create_directories(fs::path(home_) / "OneDrive");
  EXPECT_EQ(GetCloudDrivePath(settings, "OneDrive", home_), home_ + "/OneDrive");
  fs::create_directories(fs::path(home_) / "Google Drive");
  EXPECT_EQ(GetCloudDrivePath(settings, "Google Drive", home_), home_ + "/Google Drive");
  fs::create_directories(fs::path(home_) / "Google Drive File Stream/My Drive");
  EXPECT_EQ(GetCloudDrivePath(settings, "Google Drive", home_), home_ + "/Google Drive File Stream/My Drive");
  fs::create_directories(fs::path(home_) / "Dropbox");
  EXPECT_EQ(GetCloudDrivePath(settings, "Dropbox", home_), home_ + "/Dropbox");
  EXPECT_EQ(GetCloudDrivePath(settings, "Box", home_), "");
  // A chosen root wins while it exists.
  settings.WriteText("CloudDriveRootPath_OneDrive", dir_ / "mine");
  EXPECT_EQ(GetCloudDrivePath(settings, "OneDrive", home_), home_ + "/OneDrive");
  fs::create_directories(dir_ / "mine");
  EXPECT_EQ(GetCloudDrivePath(settings, "OneDrive", home_), dir_ / "mine");
}

TEST_F(CloudAutoSaveTest, TheNewestFileOfTheRecordingsNameIsCopiedIntoTheDateFolder) {
  fs::create_directories(fs::path(home_) / "OneDrive");
  const fs::path folder = dir_ / "rec/03-07-2025";
  Write(folder / "UntitledRec_1.mp4", "older");
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Write(folder / "UntitledRec_2.mp4", "newer");
  Write(folder / "Other.mp4", "not this name");
  CloudAutoSaveJob job = Job("OneDrive", "Orvex/Recordings", folder / "UntitledRec_7-3-2025-14-5-9-123.mp4");
  job.dateFolders = true;
  EXPECT_EQ(CloudAutoSaveWorker(job, stop_), 0);
  const fs::path copy = fs::path(home_) / "OneDrive/Orvex/Recordings/03-07-2025/UntitledRec_2.mp4";
  EXPECT_EQ(ReadFile(copy), "newer");
  EXPECT_EQ(done_, 1);
  EXPECT_TRUE(failures_.empty());
  // The next copy replaces it, leaving nothing beside it.
  Write(folder / "UntitledRec_2.mp4", "replaced");
  EXPECT_EQ(CloudAutoSaveWorker(job, stop_), 0);
  EXPECT_EQ(ReadFile(copy), "replaced");
  EXPECT_EQ(Files(copy.parent_path()), std::vector<fs::path>{"UntitledRec_2.mp4"});
}

TEST_F(CloudAutoSaveTest, OnlyACompleteRecordingIsCopied) {
  fs::create_directories(dir_ / "other");
  const fs::path recording = dir_ / "rec/Take.mp4";
  Write(recording, "first half ");
  auto completion = std::make_shared<RecordingCompletion>();
  CloudAutoSaveJob job = Job(kOtherCloudDrive, dir_ / "other", recording);
  job.waitForRecording = [&] { return completion->Wait(stop_); };
  std::thread worker([&] { CloudAutoSaveWorker(job, stop_); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(done_, 0);
  std::ofstream(recording, std::ios::app) << "second half";
  completion->MarkDone();
  worker.join();
  EXPECT_EQ(ReadFile(dir_ / "other/Take.mp4"), "first half second half");
}

TEST_F(CloudAutoSaveTest, FailuresAreReportedAndCopyNothing) {
  Write(dir_ / "rec/Take.mp4", "recording");
  // "Other" whose folder is missing.
  EXPECT_EQ(CloudAutoSaveWorker(Job(kOtherCloudDrive, dir_ / "missing", dir_ / "rec/Take.mp4"), stop_), 1);
  EXPECT_EQ(failures_, std::vector<int>{kCloudDriveNotFound});
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  // A drive with no folder.
  EXPECT_EQ(CloudAutoSaveWorker(Job("OneDrive", "Orvex/Recordings", dir_ / "rec/Take.mp4"), stop_), 1);
  EXPECT_EQ(failures_.back(), kCloudDriveNotFound);
  // A destination that cannot be made.
  Write(fs::path(home_) / "OneDrive/Orvex", "a file where the folder goes");
  EXPECT_EQ(CloudAutoSaveWorker(Job("OneDrive", "Orvex/Recordings", dir_ / "rec/Take.mp4"), stop_), 1);
  EXPECT_EQ(failures_.back(), kCloudFolderFailed);
  EXPECT_STREQ(CloudSaveFailureText(kCloudFolderFailed), "Failed to create cloud folder");
  EXPECT_STREQ(CloudSaveFailureText(9), "Auto-save to cloud failed");
  // Off: nothing at all.
  CloudAutoSaveJob off = Job("OneDrive", "x", dir_ / "rec/Take.mp4");
  off.cloud.autoSave = false;
  EXPECT_EQ(CloudAutoSaveWorker(off, stop_), 0);
  EXPECT_EQ(failures_.size(), 3u);
  EXPECT_EQ(done_, 0);
}

// Without "_" in the name, only what is there at the start is searched: a
// file that turns up during the wait is not taken. (The wait's 30 steps are
// 50 ms here instead of 500.)
TEST_F(CloudAutoSaveTest, AMissingNameWithoutPrefixIsNotSearchedWhileWaiting) {
  fs::create_directories(dir_ / "other");
  fs::create_directories(dir_ / "rec");
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Write(dir_ / "rec/late.mp4", "late");
  });
  CloudAutoSaveJob job = Job(kOtherCloudDrive, dir_ / "other", dir_ / "rec/Take.mp4");
  job.waitStepMs = 50;
  EXPECT_EQ(CloudAutoSaveWorker(job, stop_), 1);
  late.join();
  EXPECT_EQ(failures_, std::vector<int>{kCloudFileNotFound});
  EXPECT_TRUE(fs::is_empty(dir_ / "other"));
  // Present at the start, the newest "*.mp4" is taken.
  EXPECT_EQ(CloudAutoSaveWorker(Job(kOtherCloudDrive, dir_ / "other", dir_ / "rec/Take.mp4"), stop_), 0);
  EXPECT_EQ(ReadFile(dir_ / "other/late.mp4"), "late");
}

TEST_F(CloudAutoSaveTest, ACopyThatFailsPartWayKeepsTheEarlierCopy) {
  fs::create_directories(dir_ / "other");
  Write(dir_ / "other/Take.mp4", "the earlier good copy");
  Write(dir_ / "rec/Take.mp4", std::string(4 << 20, 'x'));
  // In a child whose files may not grow past 1 MB.
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int reason = 0;
    CloudAutoSaveJob job = Job(kOtherCloudDrive, dir_ / "other", dir_ / "rec/Take.mp4");
    job.failed = [&](int failure) { reason = failure; };
    CloudAutoSaveWorker(job, stop_);
    ::_exit(reason);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kCloudCopyFailed);
  EXPECT_EQ(ReadFile(dir_ / "other/Take.mp4"), "the earlier good copy");
  EXPECT_EQ(Files(dir_ / "other"), std::vector<fs::path>{"Take.mp4"});
}

}  // namespace
