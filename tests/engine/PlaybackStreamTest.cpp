// The render stream on the default output, against a private PulseAudio
// server: what it plays is recorded from the sink's monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "Fixtures.h"
#include "MediaProbe.h"
#include "MusicFiles.h"
#include "Processes.h"
#include "SpeakerRecorder.h"
#include "platform/PlaybackStream.h"

using namespace testsupport;
using capmill::platform::OpenDefaultPlayback;
using capmill::platform::PlaybackStream;
using Clock = std::chrono::steady_clock;

namespace {

// Interleaved stereo 16-bit samples of a tone.
std::vector<int16_t> Tone(int rate, double seconds, double frequency, double level) {
  std::vector<int16_t> samples(static_cast<size_t>(rate * seconds) * 2);
  for (size_t i = 0; i < samples.size() / 2; ++i)
    samples[2 * i] = samples[2 * i + 1] = static_cast<int16_t>(level * 32767 * std::sin(2 * M_PI * frequency * i / rate));
  return samples;
}

// Writes all of the samples as the stream takes them, at its own pace.
void PlayAll(PlaybackStream& stream, const std::vector<int16_t>& samples) {
  size_t frame = 0;
  const size_t frames = samples.size() / 2;
  while (frame < frames) {
    const int taken = stream.Write(samples.data() + 2 * frame, static_cast<uint32_t>(frames - frame));
    ASSERT_GE(taken, 0);
    frame += taken;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

class PlaybackStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = MissingAudioTools(); !why.empty()) GTEST_SKIP() << why;
  }
};

}  // namespace

TEST_F(PlaybackStreamTest, PlaysWhatIsWrittenOnTheDefaultOutput) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  const int threadsBefore = ThreadCount();
  const std::string streamsBefore = server.Pactl("list short sink-inputs");
  {
    auto opening = OpenDefaultPlayback(500);
    ASSERT_TRUE(opening.stream) << static_cast<int>(opening.failure);
    PlaybackStream& stream = *opening.stream;
    EXPECT_EQ(stream.rate(), 44100);
    EXPECT_EQ(stream.channels(), 2);
    const double bufferMs = stream.bufferFrames() * 1000.0 / stream.rate();
    EXPECT_GE(bufferMs, 450);
    EXPECT_LE(bufferMs, 550);

    const auto heard = RecordSpeakerWhile([&] { PlayAll(stream, Tone(44100, 3, 1000, 0.4)); });
    ASSERT_TRUE(heard.has_value());
    const std::vector<float>& sound = *heard;
    const auto windows = ToneAmplitudes(sound, 44100, {1000});
    size_t first = 0;
    while (first < windows.size() && windows[first][0] < 0.2) ++first;
    ASSERT_LT(first + 280, windows.size()) << "the tone was not heard";
    // 2.8 s of steady tone at its level, no window of 20 ms gone quiet.
    for (size_t w = first + 5; w < first + 280; ++w)
      ASSERT_NEAR(20 * std::log10(windows[w][0] / 0.4), 0, 1.0) << "at " << w * 0.01 << " s";
    const size_t from = first * 441 + 2205, to = from + 44100 * 2;
    for (size_t start = from; start + 882 <= to; start += 882) {
      double sum = 0;
      for (size_t i = start; i < start + 882; ++i) sum += sound[i] * sound[i];
      ASSERT_GT(10 * std::log10(sum / 882), -40) << "a silent window at " << start / 44100.0 << " s";
    }
  }
  // Closed: no stream on the sink, no thread of it left.
  EXPECT_EQ(server.Pactl("list short sink-inputs"), streamsBefore);
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(PlaybackStreamTest, AWriteNeverWaitsAndAResetEmptiesTheQueue) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  auto opening = OpenDefaultPlayback(500);
  ASSERT_TRUE(opening.stream) << static_cast<int>(opening.failure);
  PlaybackStream& stream = *opening.stream;
  const std::vector<int16_t> tone = Tone(44100, 0.4, 1000, 0.4);

  // A suspended sink takes nothing, and nobody waits for it.
  ASSERT_EQ(server.Pactl("suspend-sink spk 1"), "ok");
  const auto begun = Clock::now();
  for (int i = 0; i < 300; ++i) ASSERT_GE(stream.Write(tone.data(), 1024), 0);
  EXPECT_LT(Clock::now() - begun, std::chrono::seconds(1));
  ASSERT_EQ(server.Pactl("suspend-sink spk 0"), "ok");
  ASSERT_EQ(stream.Reset(), 0);
  EXPECT_TRUE(WaitUntil([&] { return stream.Write(tone.data(), 1024) > 0; }, std::chrono::seconds(2)));

  // 400 ms queued, then dropped at once.
  ASSERT_EQ(stream.Reset(), 0);
  ASSERT_GT(stream.Write(tone.data(), static_cast<uint32_t>(tone.size() / 2)), 0);
  ASSERT_TRUE(stream.QueuedFrames().has_value());
  EXPECT_GT(*stream.QueuedFrames(), 44100u / 4);
  ASSERT_EQ(stream.Reset(), 0);
  EXPECT_LT(*stream.QueuedFrames(), 44100u / 100);
}

TEST_F(PlaybackStreamTest, NothingToPlayToIsAFailureWithinSeconds) {
  {
    VirtualMicrophone server(false, true);
    ASSERT_TRUE(server.ok());
    const auto begun = Clock::now();
    const auto opening = OpenDefaultPlayback(500);
    EXPECT_FALSE(opening.stream);
    EXPECT_EQ(opening.failure, capmill::platform::PlaybackFailure::DefaultOutput);
    EXPECT_LT(Clock::now() - begun, std::chrono::seconds(3));
  }
  ::setenv("PULSE_SERVER", "unix:/nonexistent/pulse/native", 1);
  const auto opening = OpenDefaultPlayback(500);
  EXPECT_FALSE(opening.stream);
  EXPECT_EQ(opening.failure, capmill::platform::PlaybackFailure::Server);
  ::unsetenv("PULSE_SERVER");
}
