#include "src/ThreadDrivers.h"

#include <condition_variable>
#include <thread>

#include "platform/Log.h"
#include "src/CaptureThreads.h"

namespace capmill {
namespace {

// Signalled once the audio thread has written its last packet.
class Latch {
 public:
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    opened_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> hold(lock_);
    opened_.wait(hold, [this] { return open_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable opened_;
  bool open_ = false;
};

void StartClock(MediaInput& input, bool makeActive) {
  *input.clock = RecordingClock{NowTicks(), 0, 0, false};
  std::lock_guard<std::mutex> hold(Engine().lock);
  if (makeActive) Engine().activeClock = input.clock;
}

void ClearActiveClock() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().activeClock = nullptr;
}

void RunThreads(MediaInput* screen, MediaInput* audio) {
  if (audio && !screen) {
    log::ErrLine("Starting audio thread only...");
    std::thread([audio] { MicCaptureThread(*audio); }).join();
    return;
  }
  if (screen && !audio) {
    log::ErrLine("Starting video thread only...");
    std::thread([screen] { ScreenCapThread(*screen); }).join();
    return;
  }
  log::ErrLine("Starting both video and audio threads...");
  Latch audioDone;
  std::thread audioThread([audio, &audioDone] {
    MicCaptureThread(*audio);
    audioDone.Open();
  });
  std::thread screenThread;
  try {
    screenThread = std::thread([screen, &audioDone] { ScreenCapThread(*screen, [&audioDone] { audioDone.Wait(); }); });
  } catch (...) {
    // Without a screen thread nobody finishes the file: end the audio thread.
    Engine().stopRequested = true;
    audioThread.join();
    throw;
  }
  audioThread.join();
  screenThread.join();
}

}  // namespace

void VideoAudioThreadDriver(MediaInput* screen, MediaInput* audio) {
  log::ErrLine("Starting recording threads...");
  ResetRecordingTiming();
  if (screen) StartClock(*screen, true);
  if (audio) StartClock(*audio, !screen);
  if (!screen && !audio) {
    log::ErrLine("No threads to start");
    return;
  }
  try {
    RunThreads(screen, audio);
  } catch (...) {
    log::ErrLine("Error in VideoAudioThreadDriver, but continuing...");
    ClearActiveClock();
    return;
  }
  ClearActiveClock();
  log::ErrLine("All recording threads completed");
}

}  // namespace capmill
