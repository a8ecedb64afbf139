// A camera's live picture: opened, decoded, scaled and mirrored left to right
// on the feed's own thread. The window takes only the newest picture.
#pragma once

#include <QImage>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace orvex {

// How a feed words its debug lines: the overlay's "Video capture ..." or the
// preview's "Camera preview video capture ..." with " for camera preview".
struct CameraLogWords {
  std::string summary = "Video capture";  // "<summary> initialized successfully"
  std::string failedStart = "Failed to start video capture";
  std::string suffix;                      // before each failure line's end
};
CameraLogWords PreviewLogWords();

class CameraFeed {
 public:
  struct Callbacks {
    std::function<void()> pictureReady;  // a new picture waits in the slot (any thread)
    std::function<void()> started;       // the first picture arrived (any thread)
    std::function<void()> failed;        // opening or reading failed (any thread)
  };
  virtual ~CameraFeed() = default;
  // Opens the camera on the feed's thread. "lavfi:<graph>" names FFmpeg's
  // virtual source; any other name a capture node by its card name.
  virtual void Start(const std::string& cameraName, Callbacks callbacks) = 0;
  // Interrupts a blocked read, ends the thread and closes the device before
  // it returns: capture devices are exclusive.
  virtual void Stop() = 0;
  virtual bool running() const = 0;
  // Pictures are scaled to this size (the picture is stretched to fill it).
  virtual void SetPictureSize(QSize size) = 0;
  // The newest picture, or a null image when none came since the last take.
  virtual QImage TakePicture() = 0;
};

// FFmpeg's libavdevice: v4l2 for cameras, lavfi for virtual sources.
class FfmpegCameraFeed : public CameraFeed {
 public:
  explicit FfmpegCameraFeed(CameraLogWords words = {});
  ~FfmpegCameraFeed() override;
  FfmpegCameraFeed(const FfmpegCameraFeed&) = delete;
  FfmpegCameraFeed& operator=(const FfmpegCameraFeed&) = delete;

  void Start(const std::string& cameraName, Callbacks callbacks) override;
  void Stop() override;
  bool running() const override { return thread_.joinable(); }
  void SetPictureSize(QSize size) override;
  QImage TakePicture() override;

 private:
  struct Session;
  void Run(std::string cameraName, Callbacks callbacks);
  // Sleeps until the steady-clock time or a stop; false on a stop.
  bool WaitUntil(std::chrono::steady_clock::time_point when);

  CameraLogWords words_;
  std::thread thread_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool stopping_ = false;                  // guarded by lock_, for the pacing wait
  std::atomic<bool> interrupted_{false};  // the same, read by FFmpeg's callback without the lock
  QSize pictureSize_{200, 200};
  QImage newest_;
};

}  // namespace orvex
