// The threaded music pipeline: the reader's looping, timestamps, pacing and
// bounded queues, the mixing thread's ready list, the waits of threads whose
// partner never comes, teardown at any moment, and the music heard through
// the playback device. A recording clock is made active as the driver would.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "Fixtures.h"
#include "LogCapture.h"
#include "MediaProbe.h"
#include "MusicFiles.h"
#include "Processes.h"
#include "SpeakerRecorder.h"
#include "capmill/capmill.h"
#include "src/MusicPipeline.h"
#include "src/PlaybackDevice.h"
#include "src/ReadyListMixer.h"
#include "src/SampleBuffer.h"

using namespace testsupport;
using namespace capmill;
using Clock = std::chrono::steady_clock;

namespace {

// The recording clock a driver makes active, started now.
class ActiveClock {
 public:
  ActiveClock() {
    clock_.start = NowTicks();
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().activeClock = &clock_;
  }
  ~ActiveClock() {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().activeClock = nullptr;
  }

 private:
  RecordingClock clock_;
};

// A microphone input with the recording's audio encoder settings (not
// opened: the pipeline only reads its format).
class Microphone {
 public:
  explicit Microphone(int rate = 44100) : input_(kind_, "24") {
    input_.encoderContext = avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_AAC));
    input_.encoderContext->sample_fmt = AV_SAMPLE_FMT_FLTP;
    input_.encoderContext->sample_rate = rate;
    av_channel_layout_default(&input_.encoderContext->ch_layout, 2);
  }
  ~Microphone() { avcodec_free_context(&input_.encoderContext); }
  MediaInput& input() { return input_; }

 private:
  MediaKind kind_ = kSharedFileAudio;
  MediaInput input_;
};

// A frame taken off a queue: its music time and length.
struct Taken {
  int64_t timestamp;
  double durationMs;
};

class MusicPipelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ShutdownPlaybackDevice();
    Engine().stopRequested = false;
    mp3_ = dir_ / "tones.mp3";
    ASSERT_TRUE(MakeTwoToneFile(mp3_, "mp3", 44100));
  }
  void TearDown() override {
    ShutdownPlaybackDevice();
    Engine().stopRequested = false;
  }

  TempDir dir_;
  std::string mp3_;
};

bool Within(Clock::time_point begun, double seconds) {
  return Clock::now() - begun < std::chrono::duration<double>(seconds);
}

}  // namespace

// The 2-s file over 7 s of recording: three loops, music time running on
// across each; the playback queue, taken by nobody, keeps the newest 100.
TEST_F(MusicPipelineTest, TheReaderLoopsWithMusicTimeRunningOn) {
  LogCapture logs;
  ActiveClock clock;
  ReaderContext context(mp3_);
  std::thread reader(MusicFileReaderThread, mp3_, &context);
  std::vector<Taken> taken;
  const auto begun = Clock::now();
  while (Within(begun, 7)) {
    if (auto item = context.mixingQueue.TakeFront())
      taken.push_back({item->timestamp, item->frame->nb_samples * 1000.0 / item->frame->sample_rate});
    else
      context.mixingQueue.WaitFor(std::chrono::milliseconds(10));
  }
  context.loopBreaker = true;
  reader.join();
  while (auto item = context.mixingQueue.TakeFront())  // what came after the last look
    taken.push_back({item->timestamp, item->frame->nb_samples * 1000.0 / item->frame->sample_rate});

  const std::string debug = logs.Debug();
  for (int loop = 1; loop <= 3; ++loop)
    EXPECT_NE(debug.find("MusicFileReaderThread: Looping back to start (loop #" + std::to_string(loop) + ")\n"),
              std::string::npos)
        << loop;
  EXPECT_EQ(debug.find("(loop #4)"), std::string::npos);
  EXPECT_NE(debug.find("MusicFileReaderThread: Opened file (sample rate: 44100, channels: 2, duration: "),
            std::string::npos);
  EXPECT_NE(debug.find("MusicFileReaderThread: Exiting\n"), std::string::npos);
  EXPECT_NE(logs.Err().find("MusicFileReaderThread: Starting file reader thread for: " + mp3_ + "\n"),
            std::string::npos);

  // Each frame starts where the previous one ended, across the loops too.
  ASSERT_GT(taken.size(), 6 * 44100 / 1152u);
  for (size_t i = 1; i < taken.size(); ++i)
    ASSERT_NEAR(taken[i].timestamp, taken[i - 1].timestamp + taken[i - 1].durationMs, 1.0) << "frame " << i;
  EXPECT_GT(taken.back().timestamp, 6000);

  ASSERT_EQ(context.playbackQueue.size(), kMusicQueueCapacity);
  EXPECT_EQ(context.playbackQueue.NewestTimestamp(), taken.back().timestamp);
  const auto oldest = context.playbackQueue.TakeFront();
  ASSERT_TRUE(oldest.has_value());
  EXPECT_EQ(oldest->timestamp, taken[taken.size() - kMusicQueueCapacity].timestamp);
}

// FLAC's frames last about 100 ms, more than one pacing step: the reader
// still keeps within half a second (and a frame) of the recording.
TEST_F(MusicPipelineTest, TheReaderKeepsHalfASecondAheadWithLongFrames) {
  const std::string flac = dir_ / "tones.flac";
  ASSERT_TRUE(MakeTwoToneFile(flac, "flac", 44100));
  ActiveClock clock;
  ReaderContext context(flac);
  std::thread reader(MusicFileReaderThread, flac, &context);
  int64_t mostAhead = -1000, leastAheadLate = 1000;
  const auto begun = Clock::now();
  while (Within(begun, 5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::optional<int64_t> newest = context.mixingQueue.NewestTimestamp();
    const std::optional<int64_t> now = RecordingTimeMs();
    if (!newest || !now) continue;
    mostAhead = std::max(mostAhead, *newest - *now);
    if (!Within(begun, 1)) leastAheadLate = std::min(leastAheadLate, *newest - *now);
  }
  context.loopBreaker = true;
  reader.join();
  EXPECT_LE(mostAhead, 600);
  EXPECT_GE(leastAheadLate, 250);  // and it does keep ahead
}

// No playback device and no microphone thread taking music: the playback
// thread gives up after ten seconds, the mixing thread converts on with the
// default delays into a ready list that stays bounded. A file that cannot be
// opened: the reader says so and both partners give up waiting for it.
TEST_F(MusicPipelineTest, ThreadsWaitingInVainGiveUpAfterTenSeconds) {
  LogCapture logs;
  ActiveClock clock;
  Microphone good(48000), orphan;
  const std::string missing = dir_ / "missing.mp3";
  const auto begun = Clock::now();
  MusicPipeline playing(mp3_, good.input(), 0.5);
  MusicPipeline broken(missing, orphan.input(), 0.5);
  size_t largest = 0;
  std::optional<QueuedMusicFrame> sample;
  while (Within(begun, 10.6)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (MixingContext* mixing = playing.mixing()) {
      largest = std::max(largest, mixing->readyList.size());
      if (!sample && mixing->readyList.size() > 10) {
        mixing->readyList.TakeFront();  // the first may be short: the converter's start
        sample = mixing->readyList.TakeFront();
      }
    }
    if (!Within(begun, 9.5)) continue;
    EXPECT_EQ(logs.Debug().find("not initialized after waiting"), std::string::npos) << "before ten seconds";
  }
  const std::string debug = logs.Debug();
  EXPECT_NE(debug.find("ERROR: MusicFileReaderThread - cannot open music file: " + missing + "\n"), std::string::npos);
  EXPECT_NE(debug.find("ERROR: MusicPlaybackThread - reader context not initialized after waiting\n"),
            std::string::npos);
  EXPECT_NE(debug.find("ERROR: MusicMixingThread - reader context not initialized after waiting\n"),
            std::string::npos);
  EXPECT_NE(debug.find("ERROR: MusicPlaybackThread - playback device not initialized after waiting\n"),
            std::string::npos);
  EXPECT_NE(logs.Err().find("MusicMixingThread: Starting mixing thread - playback delay=500 ms, response delay=200 "
                            "ms, total delay=700 ms (will wait for reader context)\n"),
            std::string::npos);
  EXPECT_EQ(orphan.input().mixingContext.load(), nullptr);  // the one that gave up left
  EXPECT_EQ(largest, kMusicQueueCapacity);

  // Converted to the encoder's format, every sample kept: 1152 samples at
  // 44.1 kHz make 1254 at 48 kHz.
  ASSERT_TRUE(sample.has_value());
  EXPECT_EQ(sample->frame->format, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(sample->frame->sample_rate, 48000);
  EXPECT_NEAR(sample->frame->nb_samples, 1152 * 48000 / 44100.0, 1.0);

  playing.TearDown();
  broken.TearDown();
  EXPECT_EQ(good.input().mixingContext.load(), nullptr);
  EXPECT_EQ(good.input().readerContext, nullptr);
  const std::string end = logs.Debug();
  const size_t waiting = end.find("Waiting for music threads to finish...\n");
  ASSERT_NE(waiting, std::string::npos);
  EXPECT_LT(waiting, end.find("Music threads finished\n", waiting));
}

// A teardown while the partners still wait for the reader ends them at once.
TEST_F(MusicPipelineTest, ATeardownDuringTheWaitsEndsThemEarly) {
  LogCapture logs;
  Microphone mic;
  const auto begun = Clock::now();
  {
    MusicPipeline pipeline(dir_ / "missing.mp3", mic.input(), 0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_LT(Clock::now() - begun, std::chrono::seconds(2));
  EXPECT_NE(logs.Debug().find("MusicPlaybackThread: Exiting early - loop breaker or stop flag\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("MusicMixingThread: Exiting early - loop breaker or stop flag\n"), std::string::npos);
}

// Started and torn down twenty times at random moments while a microphone
// thread takes music off the ready list: nothing is used after it is freed
// (the sanitizer build checks) and no thread is left behind.
TEST_F(MusicPipelineTest, StartAndTeardownAtAnyMoment) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  std::thread([] {}).join();  // the thread sanitizer starts a helper thread with the first one
  const int threadsBefore = ThreadCount();
  ASSERT_TRUE(InitPlaybackDevice(30));
  const int threadsWithDevice = ThreadCount();
  ActiveClock clock;
  Microphone mic;
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> moment(0, 800);
  int mixed = 0;
  for (int round = 0; round < 20; ++round) {
    LogCapture quiet;
    MusicPipeline pipeline(mp3_, mic.input(), 0.3);
    const auto end = Clock::now() + std::chrono::milliseconds(moment(random));
    while (Clock::now() < end) {
      if (MixingContext* mixing = mic.input().mixingContext.load())
        mixed += mixing->readyList.TakeFront().has_value();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    pipeline.TearDown();
    EXPECT_EQ(ThreadCount(), threadsWithDevice) << "round " << round;
  }
  EXPECT_GT(mixed, 0);
  ShutdownPlaybackDevice();
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

// Through the playback device the music is heard whole: at its volume, one
// second per tone, without a gap.
TEST_F(MusicPipelineTest, ThePlaybackThreadPlaysTheMusicWithoutGaps) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(InitPlaybackDevice(40));
  LogCapture logs;
  Microphone mic;
  const std::vector<float> sound = RecordSpeakerWhile([&] {
                                     ActiveClock clock;
                                     MusicPipeline pipeline(mp3_, mic.input(), 0.4);
                                     std::this_thread::sleep_for(std::chrono::seconds(5));
                                   }).value_or(std::vector<float>());
  const auto windows = ToneAmplitudes(sound, 44100, {1000, 1500});
  std::vector<double> levels;
  for (const auto& window : windows) levels.push_back(std::max(window[0], window[1]));
  const size_t first = std::find_if(levels.begin(), levels.end(), [](double level) { return level > 0.02; }) -
                       levels.begin();
  ASSERT_GT(levels.size(), first + 400);
  int quiet = 0, off = 0;
  for (size_t w = first + 5; w < first + 400; ++w) {
    quiet += levels[w] < 0.16 / 100;  // -40 dB
    off += std::abs(20 * std::log10(levels[w] / 0.16)) > 1.0;
  }
  EXPECT_EQ(quiet, 0);
  EXPECT_LE(off, 4 * 6);  // the windows across the changes of tone
  const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.08);
  ASSERT_GE(changes.size(), 3u);
  for (size_t i = 1; i < changes.size(); ++i) EXPECT_NEAR(changes[i] - changes[i - 1], 1.0, 0.05) << "segment " << i;
  const std::string debug = logs.Debug();
  EXPECT_NE(debug.find("MusicPlaybackThread: Sending frame #5 to playback device\n"), std::string::npos);
  EXPECT_EQ(debug.find("MusicPlaybackThread: Sending frame #6 "), std::string::npos);
}

namespace {

// A ready-list frame of `samples` float samples whose values count up from
// `first` (times a millionth), on both channels.
FramePtr CountingFrame(int samples, int first) {
  FramePtr frame(av_frame_alloc());
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->sample_rate = 44100;
  frame->nb_samples = samples;
  av_channel_layout_default(&frame->ch_layout, 2);
  if (samples > 0) {
    av_frame_get_buffer(frame.get(), 0);
    for (int c = 0; c < 2; ++c)
      for (int i = 0; i < samples; ++i) reinterpret_cast<float*>(frame->data[c])[i] = (first + i) * 1e-6f;
  }
  return frame;
}

class ReadyListMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().musicVolume = 1.0;
  }
  void TearDown() override {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().musicVolume = 0.3;
  }

  // Mixes one block of `count` samples at elapsed ms; the first channel.
  std::vector<float> Block(ReadyListMixer& mixer, int count, int64_t elapsed) {
    SampleBuffer block(2, count, AV_SAMPLE_FMT_FLTP);
    av_samples_set_silence(block.data(), 0, count, 2, AV_SAMPLE_FMT_FLTP);
    mixer.MixInto(mixing_, block.data(), count, elapsed);
    const float* left = reinterpret_cast<const float*>(block.data()[0]);
    return std::vector<float>(left, left + count);
  }

  Microphone mic_;
  ReaderContext reader_{"music"};
  MixingContext mixing_{mic_.input(), reader_, MixingContext::kDefaultPlaybackDelayMs};  // 700 ms in all
};

}  // namespace

// 1152-sample music frames into 1024-sample blocks: every music sample is
// mixed once and in order, what a block leaves of a frame opens the next.
TEST_F(ReadyListMixerTest, EveryMusicSampleIsMixedOnceInOrder) {
  for (int i = 0; i < 8; ++i) mixing_.readyList.Push(CountingFrame(1152, i * 1152), i * 1152 * 1000 / 44100);
  ReadyListMixer mixer(mic_.input().encoderContext);
  std::vector<float> mixed;
  for (int block = 0; block < 8; ++block) {
    const std::vector<float> samples = Block(mixer, 1024, 700 + block * 1024 * 1000 / 44100);
    mixed.insert(mixed.end(), samples.begin(), samples.end());
  }
  for (size_t i = 0; i < mixed.size(); ++i) ASSERT_NEAR(mixed[i], i * 1e-6f, 1e-9) << "sample " << i;
}

// Music stamped more than half a second before its time is dropped, music
// due within 200 ms is taken, later music waits.
TEST_F(ReadyListMixerTest, StaleMusicIsDroppedAndEarlyMusicWaits) {
  // At 3000 ms elapsed the music due is stamped 2300 ms: from 1800 to 2500 ms
  // it is taken.
  mixing_.readyList.Push(CountingFrame(441, 1), 1700);       // stale
  mixing_.readyList.Push(CountingFrame(441, 100001), 1850);   // taken
  mixing_.readyList.Push(CountingFrame(441, 200001), 2600);   // too early
  ReadyListMixer mixer(mic_.input().encoderContext);
  const std::vector<float> first = Block(mixer, 882, 3000);
  EXPECT_NEAR(first[0], 0.100001f, 1e-7);
  EXPECT_EQ(first[441], 0.0f);  // the early frame was left
  EXPECT_EQ(mixing_.readyList.size(), 1u);
  const std::vector<float> later = Block(mixer, 441, 3150);  // now 2450 is due: 2600 is within 200 ms
  EXPECT_NEAR(later[0], 0.200001f, 1e-7);
  EXPECT_EQ(mixing_.readyList.size(), 0u);
}

TEST_F(ReadyListMixerTest, AnEmptyMusicFrameIsReportedAndDropped) {
  mixing_.readyList.Push(CountingFrame(0, 0), 0);
  mixing_.readyList.Push(CountingFrame(100, 7), 0);
  ReadyListMixer mixer(mic_.input().encoderContext);
  LogCapture logs;
  const std::vector<float> first = Block(mixer, 200, 700);
  EXPECT_EQ(logs.Debug(),
            "ERROR: Invalid mixing parameters - music_samples_mixed=0, samples_to_mix=0, mic_samples=200\n");
  EXPECT_EQ(first[0], 0.0f);
  EXPECT_NEAR(Block(mixer, 200, 705)[0], 7e-6f, 1e-9);  // the next block goes on with the next frame
}

// The music's start enters the recording once it is half a second old; a
// device that hands over two seconds at once gets the music from the moment
// in the block where it is due.
TEST_F(ReadyListMixerTest, MusicStartsWhereItIsDueInsideALongBlock) {
  for (int i = 0; i < 40; ++i) mixing_.readyList.Push(CountingFrame(1152, i * 1152), i * 1152 * 1000 / 44100);
  ReadyListMixer mixer(mic_.input().encoderContext);
  const std::vector<float> block = Block(mixer, 2 * 44100, 0);
  // The music's first sample is 0: its second shows where it starts.
  const auto second = std::find_if(block.begin(), block.end(), [](float sample) { return sample != 0; });
  ASSERT_NE(second, block.end());
  const auto first = second - 1;
  EXPECT_NEAR((first - block.begin()) / 44100.0, 0.5, 0.01);
  // From there on every music sample, in order, to the music's end.
  ASSERT_GT(block.end() - first, 40 * 1152);
  for (auto at = first; at != first + 40 * 1152; ++at)
    ASSERT_NEAR(*at, (at - first) * 1e-6f, 1e-9) << "sample " << (at - block.begin());
  EXPECT_EQ(first[40 * 1152], 0.0f);
}
