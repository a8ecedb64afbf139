// Flashes the whole screen white and plays a 1000 Hz beep into a PulseAudio
// sink at the same instant, every few seconds: the events a lip-sync
// measurement looks for in a recording.
//
// The beep is written into a low-latency playback stream that never stops
// (silence between beeps), and the flash waits for the moment the server
// says the beep's first sample is played, so the two meet on the audio
// server's own clock.
//
// usage: flash-beep [--sink NAME] [--every SECONDS] [--count N]
#include <X11/Xlib.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kChunk = kRate / 200;  // 5 ms per write
constexpr double kBeepSeconds = 0.2;
constexpr double kFlashSeconds = 0.2;
constexpr double kBeepHz = 1000;
constexpr double kBeepLevel = 0.5;

// A full-screen white window, mapped for a moment at each flash. It has its
// own display connection and thread, so the flash is not late behind a write.
class Flasher {
 public:
  Flasher() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) return;
    const int screen = DefaultScreen(display_);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = WhitePixel(display_, screen);
    window_ = XCreateWindow(display_, RootWindow(display_, screen), 0, 0, DisplayWidth(display_, screen),
                            DisplayHeight(display_, screen), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel, &attributes);
    XStoreName(display_, window_, "flash-beep");
    XSync(display_, False);
    thread_ = std::thread([this] { Run(); });
  }
  ~Flasher() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (display_) XCloseDisplay(display_);
  }
  bool ok() const { return display_ != nullptr; }
  void FlashAt(Clock::time_point when) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      pending_.push_back(when);
    }
    changed_.notify_all();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      changed_.wait(hold, [this] { return ending_ || !pending_.empty(); });
      if (pending_.empty()) return;
      const Clock::time_point when = pending_.front();
      pending_.erase(pending_.begin());
      hold.unlock();
      std::this_thread::sleep_until(when);
      XMapRaised(display_, window_);
      XSync(display_, False);
      std::this_thread::sleep_for(std::chrono::duration<double>(kFlashSeconds));
      XUnmapWindow(display_, window_);
      XSync(display_, False);
      hold.lock();
    }
  }

  Display* display_ = nullptr;
  Window window_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Clock::time_point> pending_;
  bool ending_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  std::string sink;
  double every = 10;
  int count = 6;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--sink") sink = argv[i + 1];
    else if (option == "--every") every = std::atof(argv[i + 1]);
    else if (option == "--count") count = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: flash-beep [--sink NAME] [--every SECONDS] [--count N]\n");
      return 2;
    }
  }
  Flasher flasher;
  if (!flasher.ok()) {
    std::fprintf(stderr, "flash-beep: cannot open the display\n");
    return 1;
  }
  const pa_sample_spec sampleFormat{PA_SAMPLE_S16LE, kRate, 2};
  pa_buffer_attr buffer{};
  buffer.maxlength = static_cast<uint32_t>(-1);
  buffer.tlength = 4 * kChunk * 4;  // about 20 ms queued
  buffer.prebuf = static_cast<uint32_t>(-1);
  buffer.minreq = static_cast<uint32_t>(-1);
  buffer.fragsize = static_cast<uint32_t>(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, "flash-beep", PA_STREAM_PLAYBACK, sink.empty() ? nullptr : sink.c_str(),
                                    "beeps", &sampleFormat, nullptr, &buffer, &error);
  if (!stream) {
    std::fprintf(stderr, "flash-beep: cannot play: %s\n", pa_strerror(error));
    return 1;
  }
  const long everySamples = std::lround(every * kRate);
  const long beepSamples = std::lround(kBeepSeconds * kRate);
  // Event e (1..count) starts at sample e * everySamples: the first comes one
  // interval after the start, so a recorder started with this tool has settled.
  const long end = count * everySamples + beepSamples + kRate / 2;
  std::vector<int16_t> chunk(kChunk * 2);
  for (long written = 0; written < end; written += kChunk) {
    long beepStart = -1;
    for (int i = 0; i < kChunk; ++i) {
      const long k = written + i;
      const long event = k / everySamples, at = k % everySamples;
      const bool inBeep = event >= 1 && event <= count && at < beepSamples;
      if (inBeep && at == 0) beepStart = k;
      const double value = inBeep ? kBeepLevel * std::sin(2 * M_PI * kBeepHz * at / kRate) : 0;
      chunk[2 * i] = chunk[2 * i + 1] = static_cast<int16_t>(value * 32767);
    }
    if (pa_simple_write(stream, chunk.data(), chunk.size() * sizeof(int16_t), &error) < 0) {
      std::fprintf(stderr, "flash-beep: write failed: %s\n", pa_strerror(error));
      return 1;
    }
    if (beepStart >= 0) {
      // The latency covers everything written so far: the beep's first
      // sample plays that long from now, less what was written after it.
      const pa_usec_t latency = pa_simple_get_latency(stream, &error);
      const double untilPlayed = latency / 1e6 - static_cast<double>(written + kChunk - beepStart) / kRate;
      flasher.FlashAt(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(untilPlayed)));
      std::printf("event %ld: latency %.1f ms\n", beepStart / everySamples, latency / 1000.0);
      std::fflush(stdout);
    }
  }
  pa_simple_drain(stream, &error);
  pa_simple_free(stream);
  return 0;
}
