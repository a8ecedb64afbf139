// The main window's side of the cloud copy of each stopped recording.
#include <QDateTime>
#include <thread>

#include "core/CloudAutoSave.h"
#include "core/CloudDrive.h"
#include "core/MainDialog.h"
#include "platform/DebugChannel.h"

using namespace orvex;

void CMainDlg::StartCloudAutoSave(const std::string& path, std::shared_ptr<RecordingCompletion> recording) {
  // Copies that have ended are joined here; the others run on.
  std::erase_if(cloudWorkers_, [](const std::unique_ptr<CloudWorker>& worker) {
    if (!worker->ended) return false;
    worker->thread.join();
    return true;
  });
  CloudAutoSaveJob job;
  // The worker's own record: the window's fields are not touched from its thread.
  job.cloud = LoadCloudSettings(settings_);
  job.dateFolders = settings_.ReadFlag("RecordInDateFolders");
  if (!job.cloud.autoSave || job.cloud.driveType.empty()) return;
  cloud_ = job.cloud;
  job.expected = path;
  // A stop before the worker composed its path: compose it now, from the controls.
  if (job.expected.empty()) {
    PullControls();
    job.expected = ComposeOutputPath(PathOptions(), QDateTime::currentDateTime());
  }
  RegistryStore& store = services_.store;
  job.findDriveRoot = [&store](const std::string& type) { return GetCloudDrivePath(Settings(store), type); };
  if (recording) job.waitForRecording = [this, recording] { return recording->Wait(cloudStop_); };
  job.failed = [this](int reason) {
    QMetaObject::invokeMethod(this, [this, reason] { SetPaneText(1, CloudSaveFailureText(reason)); },
                              Qt::QueuedConnection);
  };
  job.done = [this] {
    QMetaObject::invokeMethod(this, [this] { SetPaneText(0, "Auto-saved to cloud"); }, Qt::QueuedConnection);
  };
  auto worker = std::make_unique<CloudWorker>();
  CloudWorker* running = worker.get();
  running->thread = std::thread([this, job = std::move(job), running] {
    CloudAutoSaveWorker(job, cloudStop_);
    running->ended = true;
  });
  cloudWorkers_.push_back(std::move(worker));
}

void CMainDlg::WaitForCloudCopies() {
  for (auto& worker : cloudWorkers_)
    if (worker->thread.joinable()) worker->thread.join();
  cloudWorkers_.clear();
}
