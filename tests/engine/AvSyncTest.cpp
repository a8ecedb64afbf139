// Sound and picture in step, as a viewer judges lip sync: flashes and beeps
// made at the same instant land together in the recording; and a sound card
// whose clock runs fast or slow stays on the recording clock over a minute.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "AvSyncAnalysis.h"
#include "Fixtures.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

std::string MissingTools() {
  if (std::string why = MissingDesktopTools(); !why.empty()) return why;
  return MissingAudioTools();
}

}  // namespace

TEST(AvSync, EveryEventWithinOneFrameAtThirtyFramesPerSecond) {
  if (const std::string why = MissingTools(); !why.empty()) GTEST_SKIP() << why;
  VirtualDesktop desktop(640, 480, true);
  VirtualMicrophone mic;
  ASSERT_TRUE(desktop.ok());
  ASSERT_TRUE(mic.ok());
  qelsetFrameRate(30);
  qelSetVideoRes(640, 480);
  qelSetAudioDelay(500);
  TempDir dir;
  const std::string path = dir / "sync.mp4";
  const std::string input = "audio=" + mic.Description();
  ChildProcess events;
  const TimedRecording run = RecordFor([&] { qelRecordScreenWithAudio(path.c_str(), input.c_str()); }, 60, [&] {
    // Five events, 10 s apart, into the microphone's sink.
    events = ChildProcess({ORVEX_FLASH_BEEP, "--sink", "tone", "--every", "10", "--count", "5"},
                          {"DISPLAY=" + desktop.display()}, dir / "flash-beep.log");
  });
  ASSERT_TRUE(run.started);
  const avsync::Analysis analysis = avsync::Analyze(path);
  ASSERT_EQ(analysis.error, "");
  ASSERT_EQ(analysis.events.size(), 5u) << analysis.flashes.size() << " flashes, " << analysis.beeps.size()
                                        << " beeps; " << ReadFile(dir / "flash-beep.log");
  for (const avsync::Event& event : analysis.events)
    EXPECT_LE(std::abs(event.OffsetMs()), 33.3) << "event at " << event.flashSeconds << " s";
}

namespace {

constexpr int kDeviceRate = 44100;
constexpr double kMarkerEverySeconds = 10;
constexpr double kMarkerSeconds = 0.05;
constexpr int kMarkers = 6;

// Feeds a PulseAudio pipe source like a sound card whose clock runs `ppm`
// fast: a 440 Hz tone at 44100 samples per second of its own clock, with a
// 50 ms burst of 1000 Hz (same level, no phase jump) every 10 s of real time.
class DriftingSoundCard {
 public:
  DriftingSoundCard(const std::string& fifo, double ppm) : ppm_(ppm) {
    fd_ = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ >= 0) thread_ = std::thread([this] { Run(); });
  }
  ~DriftingSoundCard() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  void Run() {
    using namespace std::chrono;
    const auto start = steady_clock::now();
    int64_t written = 0;
    double phase = 0;
    int markerLeft = 0;
    int markers = 0;
    std::vector<int16_t> chunk;
    while (!stop_) {
      const double elapsed = duration<double>(steady_clock::now() - start).count();
      const auto due = static_cast<int64_t>(elapsed * kDeviceRate * (1 + ppm_ * 1e-6));
      if (markers < kMarkers && elapsed >= (markers + 1) * kMarkerEverySeconds) {
        ++markers;
        markerLeft = static_cast<int>(kMarkerSeconds * kDeviceRate);
      }
      chunk.clear();
      for (; written < due; ++written) {
        const double frequency = markerLeft > 0 ? 1000 : 440;
        if (markerLeft > 0) --markerLeft;
        phase += 2 * M_PI * frequency / kDeviceRate;
        const auto value = static_cast<int16_t>(0.3 * 32767 * std::sin(phase));
        chunk.push_back(value);
        chunk.push_back(value);
      }
      if (!chunk.empty() && ::write(fd_, chunk.data(), chunk.size() * sizeof(int16_t)) < 0) return;
      std::this_thread::sleep_for(milliseconds(2));
    }
  }

  double ppm_;
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Level of each 10 ms window, in dB.
std::vector<double> WindowLevels(const std::vector<float>& samples, int rate, size_t from, size_t to) {
  const size_t window = rate / 100;
  std::vector<double> levels;
  for (size_t start = from; start + window <= to; start += window) {
    double sum = 0;
    for (size_t i = start; i < start + window; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    levels.push_back(10 * std::log10(sum / window + 1e-12));
  }
  return levels;
}

}  // namespace

// One recording from a drifting sound card; run by the test below in a
// process of its own (ORVEX_CLOCK_PPM set), so both clocks record at once.
TEST(AudioClock, OneRecording) {
  const char* ppmText = std::getenv("ORVEX_CLOCK_PPM");
  if (!ppmText) GTEST_SKIP() << "run by AudioClock.FastAndSlowStayOnTheRecordingClock";
  if (const std::string why = MissingTools(); !why.empty()) GTEST_SKIP() << why;
  const double ppm = std::atof(ppmText);
  VirtualDesktop desktop(320, 240, false);
  VirtualMicrophone mic;
  ASSERT_TRUE(desktop.ok());
  ASSERT_TRUE(mic.ok());
  TempDir dir;
  const std::string fifo = dir / "card.fifo";
  ASSERT_NE(mic.Pactl("load-module module-pipe-source source_name=card file=" + fifo +
                      " format=s16le rate=44100 channels=2 source_properties=device.description=DriftingCard"),
            "");
  qelsetFrameRate(10);
  qelSetVideoRes(320, 240);
  const std::string path = dir / "drift.mp4";
  std::unique_ptr<DriftingSoundCard> card;
  const TimedRecording run = RecordFor([&] { qelRecordScreenWithAudio(path.c_str(), "audio=DriftingCard"); },
                                       kMarkers * kMarkerEverySeconds + 3,
                                       [&] { card = std::make_unique<DriftingSoundCard>(fifo, ppm); });
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(card && card->ok());
  card.reset();

  const avsync::Sound sound = avsync::DecodeSound(path);
  ASSERT_EQ(sound.error, "");
  const std::vector<double> onsets = avsync::ToneOnsets(sound.samples, sound.rate, 1000, kMarkerEverySeconds / 2);
  ASSERT_EQ(onsets.size(), static_cast<size_t>(kMarkers));
  // The card put its markers 10 s apart in real time; counting its samples
  // would put them 10 s x (1 + ppm) apart.
  std::string deviations;
  for (size_t k = 1; k < onsets.size(); ++k)
    deviations += std::to_string(std::lround((onsets[k] - onsets[0] - k * kMarkerEverySeconds) * 1000)) + " ";
  for (size_t k = 1; k < onsets.size(); ++k)
    EXPECT_NEAR((onsets[k] - onsets[0]) * 1000, k * kMarkerEverySeconds * 1000, 10)
        << "marker " << k << "; deviations in ms: " << deviations;

  // No gap and no click: the tone's level never steps by more than 6 dB from
  // one 10 ms window to the next while it sounds.
  const size_t from = static_cast<size_t>((onsets[0] - 9) * sound.rate);
  const size_t to = sound.samples.size() - sound.rate / 5;
  const std::vector<double> levels = WindowLevels(sound.samples, sound.rate, from, to);
  ASSERT_GT(levels.size(), static_cast<size_t>((kMarkers - 1) * kMarkerEverySeconds * 100));
  double worst = 0;
  size_t at = 0;
  for (size_t i = 1; i < levels.size(); ++i)
    if (std::abs(levels[i] - levels[i - 1]) > worst) worst = std::abs(levels[i] - levels[at = i - 1]);
  EXPECT_LE(worst, 6) << "at " << (from + at * sound.rate / 100) / static_cast<double>(sound.rate) << " s";
}

TEST(AudioClock, FastAndSlowStayOnTheRecordingClock) {
  if (std::getenv("ORVEX_CLOCK_PPM")) GTEST_SKIP();
  if (const std::string why = MissingTools(); !why.empty()) GTEST_SKIP() << why;
  TempDir dir;
  std::vector<ChildProcess> children;
  for (const char* ppm : {"800", "-800"})
    children.emplace_back(std::vector<std::string>{"/proc/self/exe", "--gtest_filter=AudioClock.OneRecording"},
                          std::vector<std::string>{std::string("ORVEX_CLOCK_PPM=") + ppm}, dir / (std::string(ppm) + ".log"));
  for (size_t i = 0; i < children.size(); ++i) {
    const std::string ppm = i == 0 ? "800" : "-800";
    EXPECT_EQ(children[i].WaitForExit(std::chrono::seconds(240)), 0) << ppm << " ppm:\n" << ReadFile(dir / (ppm + ".log"));
  }
}
