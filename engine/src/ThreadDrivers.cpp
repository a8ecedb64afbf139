#include "src/ThreadDrivers.h"

#include <condition_variable>
#include <functional>
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

// Starts the inputs' clocks; the screen's is the recording's, else the
// audio input's.
void StartClocks(MediaInput* screen, MediaInput* audio) {
  if (screen) StartClock(*screen, true);
  if (audio) StartClock(*audio, !screen);
}

void ClearActiveClock() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().activeClock = nullptr;
}

// Runs the screen thread and an audio thread body side by side; the screen
// thread finishes the file after the audio thread's last packet. The plain
// driver starts the audio thread first, the music driver the screen thread.
void RunScreenAndAudio(MediaInput* screen, const std::function<void()>& audioBody, bool audioFirst,
                       const std::function<void()>& beforeAudio = {}) {
  Latch audioDone;
  std::thread audioThread, screenThread;
  const auto startAudio = [&] {
    if (beforeAudio) beforeAudio();
    audioThread = std::thread([&audioBody, &audioDone] {
      audioBody();
      audioDone.Open();
    });
  };
  const auto startScreen = [&] {
    screenThread = std::thread([screen, &audioDone] { ScreenCapThread(*screen, [&audioDone] { audioDone.Wait(); }); });
  };
  try {
    if (audioFirst) startAudio();
    startScreen();
    if (!audioFirst) startAudio();
  } catch (...) {
    // A thread that could not start: end the other one, which would otherwise
    // wait for its partner or run on unseen.
    Engine().stopRequested = true;
    if (!audioThread.joinable()) audioDone.Open();
    if (audioThread.joinable()) audioThread.join();
    if (screenThread.joinable()) screenThread.join();
    throw;
  }
  if (audioFirst) {
    audioThread.join();
    screenThread.join();
  } else {
    screenThread.join();
    audioThread.join();
  }
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
  RunScreenAndAudio(screen, [audio] { MicCaptureThread(*audio); }, true);
}

}  // namespace

void VideoAudioThreadDriver(MediaInput* screen, MediaInput* audio) {
  log::ErrLine("Starting recording threads...");
  ResetRecordingTiming();
  StartClocks(screen, audio);
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

void VideoAudioWithMusicThreadDriver(MediaInput* screen, MediaInput* mic, MediaInput* music, double volume) {
  log::ErrLine("Starting recording threads with background music...");
  ResetRecordingTiming();
  StartClocks(screen, mic);
  if (music) StartClock(*music, false);  // the music's clock is never the recording's
  if (!screen || !mic || !music) {
    log::ErrLine("Invalid parameters for VideoAudioWithMusicThreadDriver");
    if (screen && mic) VideoAudioThreadDriver(screen, mic);
    log::ErrLine("All recording threads with music completed");
    return;
  }
  log::DebugAndErr("Starting video, microphone, and music threads...\n");
  try {
    RunScreenAndAudio(
        screen, [mic, music, volume] { MicCaptureThreadWithMusic(*mic, music, volume); }, false,
        [] { log::Debug("Starting MicCaptureThreadWithMusic thread...\n"); });
  } catch (...) {
    log::ErrLine("Error in VideoAudioWithMusicThreadDriver, but continuing...");
    ClearActiveClock();
    return;
  }
  ClearActiveClock();
  log::Debug("All threads completed\n");
  log::ErrLine("All recording threads with music completed");
}

void VideoAudioWithMusicAndPlaybackThreadDriver(MediaInput* screen, MediaInput* mic, MediaInput* music,
                                                double volume) {
  if (!screen || !mic || !music) return;
  ResetRecordingTiming();
  StartClocks(screen, mic);
  StartClock(*music, false);
  log::DebugAndErr("Starting video, microphone, and music threads (with playback)...\n");
  try {
    RunScreenAndAudio(
        screen, [mic, music, volume] { MicCaptureThreadWithMusicAndPlayback(*mic, music, volume); }, false,
        [] { log::Debug("Starting MicCaptureThreadWithMusicAndPlayback thread...\n"); });
  } catch (...) {
    log::ErrLine("Error in MicCaptureThreadWithMusicAndPlayback, but continuing...");
    ClearActiveClock();
    return;
  }
  ClearActiveClock();
  log::Debug("All threads completed\n");
}

}  // namespace capmill
