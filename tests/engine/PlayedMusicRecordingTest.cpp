// Recordings whose music is also played on the default output, through
// libcapmill.so on the virtual desktop and microphone: the file and what the
// speaker's monitor heard, measured window by window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <thread>

#include "LibraryLogs.h"
#include "MediaProbe.h"
#include "MusicChecks.h"
#include "MusicFiles.h"
#include "RecordingEnvironment.h"
#include "SpeakerRecorder.h"
#include "StdStreamCapture.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

// What a recording with played music left: the file's sound from its first
// sound on, and the speaker's.
struct Heard {
  std::vector<float> file;
  std::vector<float> speaker;
  TimedRecording recording;
};

std::vector<float> From(const std::vector<float>& sound, double seconds) {
  const size_t from = static_cast<size_t>(seconds * 44100);
  return from < sound.size() ? std::vector<float>(sound.begin() + from, sound.end()) : std::vector<float>();
}

// The music is in time: between the first change of tone after `after`
// seconds and the last one lie whole seconds of music, within 50 ms.
void ExpectNoDrift(const std::vector<float>& sound, double volume, double after) {
  const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.5 * kMusicLevel * volume);
  const auto first = std::find_if(changes.begin(), changes.end(), [&](double at) { return at >= after; });
  ASSERT_TRUE(first != changes.end() && changes.end() - first >= 10) << changes.size() << " changes";
  const double span = changes.back() - *first;
  EXPECT_NEAR(span, std::round(span), 0.05);
}

// The largest amplitude of the tone in any window.
double Loudest(const std::vector<float>& sound, double frequency) {
  double loudest = 0;
  for (const auto& window : ToneAmplitudes(sound, 44100, {frequency})) loudest = std::max(loudest, window[0]);
  return loudest;
}

class PlayedMusicRecordingTest : public LibraryRecordingSuite {
 protected:
  void SetUp() override {
    LibraryRecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    music_ = dir_ / "tones.mp3";
    ASSERT_TRUE(MakeTwoToneFile(music_, "mp3", 44100));
  }
  void TearDown() override { qelSetMusicVolume(30); }

  // Records with the speaker recorded alongside; the file's sound is left
  // to the caller (SoundOf), after it has finished its logs.
  Heard RecordWithPlayback(const std::string& path, int percent, double seconds,
                           const std::function<void()>& during = {}) {
    const std::string mic = RecordingEnvironment::MicInput();
    Heard heard;
    heard.speaker = RecordSpeakerWhile([&] {
                      heard.recording = RecordFor(
                          [&] {
                            qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(path.c_str(), mic.c_str(),
                                                                                   music_.c_str(), percent);
                          },
                          seconds, during);
                    }).value_or(std::vector<float>());
    return heard;
  }

  TempDir dir_;
  std::string music_;
};

}  // namespace

// Twenty seconds at 40 %: the file holds the microphone and, from its second
// second on, the music at its level, in time to the end; the speaker played
// the same music, without the microphone. The stop joins everything the
// recording started.
TEST_F(PlayedMusicRecordingTest, TheMusicIsRecordedAndHeardInTime) {
  VirtualMicrophone& server = *RecordingEnvironment::Get().mic;
  const std::string inputsBefore = server.Pactl("list short sink-inputs");
  const int threadsBefore = ThreadCount(), descriptorsBefore = OpenDescriptorCount();
  Logs logs;
  Heard heard = RecordWithPlayback(dir_ / "played.mp4", 40, 20);
  logs.Finish();
  ASSERT_TRUE(heard.recording.started);
  heard.file = SoundOf(dir_ / "played.mp4");

  const std::vector<float> file = From(heard.file, 2);
  ExpectBothTonesEverywhere(file, 0.4);
  ExpectOneSecondSegments(file, 0.4);
  ExpectNoDrift(heard.file, 0.4, 5);

  // The speaker from 2 s after its first sound to its last (the recorder
  // runs on a little after the stop).
  std::vector<float> speaker = From(heard.speaker, FirstSoundSeconds(heard.speaker) + 2);
  const auto last = std::find_if(speaker.rbegin(), speaker.rend(), [](float sample) { return std::abs(sample) > 0.02; });
  speaker.resize(speaker.rend() - last);
  ASSERT_GT(speaker.size(), 15u * 44100);
  int off = 0;
  for (const auto& window : ToneAmplitudes(speaker, 44100, {1000, 1500}))
    off += std::abs(Db(std::max(window[0], window[1]) / (kMusicLevel * 0.4))) > 1.0;
  EXPECT_LE(off, 20 * 6);  // the windows across the changes of tone
  ExpectOneSecondSegments(speaker, 0.4);
  ExpectNoDrift(heard.speaker, 0.4, 5);
  EXPECT_LT(Loudest(speaker, 440), 0.01);  // the microphone never reaches the speaker

  const std::string debug = logs.Debug();
  const size_t waiting = debug.find("Waiting for music threads to finish...\n");
  ASSERT_NE(waiting, std::string::npos);
  EXPECT_NE(debug.find("Music threads finished\n", waiting), std::string::npos);
  EXPECT_NE(debug.find("Playback device shutdown complete\n", waiting), std::string::npos);
  EXPECT_NE(logs.Out().find("Calling VideoAudioWithMusicThreadDriverEx with volume 0.40 (with playback device)\n"),
            std::string::npos);
  EXPECT_NE(logs.Out().find("VideoAudioWithMusicAndPlaybackThreadDriver completed\n"), std::string::npos);
  EXPECT_LT(heard.recording.stopToReturnSeconds, 2.0);
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, std::chrono::seconds(1)))
      << ThreadCount() << " threads, " << threadsBefore << " before";
  EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
  EXPECT_EQ(server.Pactl("list short sink-inputs"), inputsBefore);
}

// A second recording in the same process, paused for 2 s: the audio is 2 s
// shorter than the time it ran, and the music goes on at once after the
// resume.
TEST_F(PlayedMusicRecordingTest, APauseHoldsTheMusic) {
  const int threadsBefore = ThreadCount();
  const std::string path = dir_ / "paused.mp4";
  Heard heard = RecordWithPlayback(path, 50, 7, [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    qelPauseRecording();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    qelResumeRecording();
  });
  ASSERT_TRUE(heard.recording.started);
  heard.file = SoundOf(path);
  const ProbedFile probed = ProbeFile(path);
  ASSERT_NE(probed.Audio(), nullptr);
  EXPECT_NEAR(probed.Audio()->DurationSeconds() - FirstSoundSeconds(DecodeAudio(path)), 5.0, 0.3);
  // From the music's start on, at most half a second of windows without it.
  const auto windows = ToneAmplitudes(From(heard.file, 1.5), 44100, kMicAndMusicTones);
  ASSERT_GT(windows.size(), 300u);
  size_t without = 0;
  for (const auto& window : windows) without += std::max(window[1], window[2]) < 0.5 * kMusicLevel * 0.5;
  EXPECT_LE(without, 50u);
  EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == threadsBefore; }, std::chrono::seconds(1)));
}

// To two servers at once: both streams and the file carry both tones. A
// music file that does not open ends the call with its report and no file.
TEST_F(PlayedMusicRecordingTest, StreamsToSeveralServersCarryTheMusic) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer first, second;
  ASSERT_TRUE(first.ok() && second.ok());
  const std::string path = dir_ / "streamed.mp4", mic = RecordingEnvironment::MicInput();
  const std::string urls[] = {first.Url("one"), second.Url("two")};
  const char* list[] = {urls[0].c_str(), urls[1].c_str()};
  Logs streams;
  ASSERT_TRUE(RecordFor([&] {
    qelRecordAndStreamDesktopWithMusicAndPlayback(path.c_str(), mic.c_str(), list, 2, music_.c_str(), 50);
  }, 5).started);
  streams.Finish();
  EXPECT_NE(streams.Out().find("Opening music file for multi-stream with playback: " + music_ + "\n"),
            std::string::npos);
  for (const std::string& output : {path, first.RecordedFile("one"), second.RecordedFile("two")}) {
    SCOPED_TRACE(output);
    ExpectBothTonesEverywhere(From(SoundOf(output), 2), 0.5);
  }

  const std::string listed = dir_ / "missing-music.mp4";
  Logs logs;
  qelRecordAndStreamDesktopWithMusicAndPlayback(listed.c_str(), mic.c_str(), list, 2, (dir_ / "none.mp3").c_str(),
                                                50);
  logs.Finish();
  EXPECT_NE(logs.Err().find("Error in RecAndStreamAudioVideoExWithMusicAndPlayback: Unable to find media format :"),
            std::string::npos)
      << logs.Err();
  EXPECT_NE(logs.Debug().find("Playback device shutdown complete\n"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(listed));
}

namespace {

bool KeepPlaying(void* flag) { return static_cast<std::atomic<bool>*>(flag)->load(); }

// Runs the standalone music playback at percent on a thread of its own for
// `seconds` (running `during` meanwhile), with the speaker recorded.
std::vector<float> PlayStandalone(const std::string& music, int percent, double seconds,
                                  const std::function<void()>& during = {}) {
  std::atomic<bool> keep{true};
  return RecordSpeakerWhile([&] {
           std::thread player([&] { qelPlayMusicToDefaultDevice(music.c_str(), percent, KeepPlaying, &keep); });
           const auto begun = std::chrono::steady_clock::now();
           if (during) during();
           std::this_thread::sleep_until(begun + std::chrono::duration<double>(seconds));
           keep = false;
           const auto told = std::chrono::steady_clock::now();
           player.join();
           EXPECT_LT(std::chrono::steady_clock::now() - told, std::chrono::milliseconds(500));
         })
      .value_or(std::vector<float>());
}

}  // namespace

// The standalone playback beside a running recording: the music from its
// start at the volume asked for, pausing with the recording; 150 % is louder,
// 0 % silent.
TEST_F(PlayedMusicRecordingTest, StandalonePlaybackFollowsTheRecording) {
  {
    Logs logs;
    qelPlayMusicToDefaultDevice(nullptr, 50, KeepPlaying, nullptr);
    EXPECT_EQ(logs.Debug(), "Music playback: Invalid parameters\n");
  }
  const std::string path = dir_ / "beside.mp4";
  Logs logs;
  std::vector<float> normal, louder, silent;
  ASSERT_TRUE(RecordFor([&] { qelRecordScreen(path.c_str()); }, 0.1, [&] {
                normal = PlayStandalone(music_, 50, 5, [] {
                  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                  qelPauseRecording();
                  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                  qelResumeRecording();
                });
                louder = PlayStandalone(music_, 150, 1.5);
                silent = PlayStandalone(music_, 0, 1.5);
              }).started);
  logs.Finish();
  const std::string debug = logs.Debug();
  EXPECT_NE(debug.find("Music output thread started: File=" + music_ + ", Volume=50%\n"), std::string::npos);
  EXPECT_NE(debug.find("Event handle set successfully\n"), std::string::npos);
  EXPECT_NE(debug.find("Music playback started, synchronized with recording\n"), std::string::npos);
  EXPECT_EQ(debug.find("Warning: Recording timer not set"), std::string::npos);
  EXPECT_NE(debug.find("Music output thread stopped\n"), std::string::npos);

  // 50 %: 0.2, starting with 1000 Hz; the 1.5 s pause is a silence after
  // which the music goes on in the segment it was in (3.5 s of music in all).
  const auto windows = ToneAmplitudes(normal, 44100, {1000, 1500});
  std::vector<double> levels;
  for (const auto& window : windows) levels.push_back(std::max(window[0], window[1]));
  const auto loud = [](double level) { return level >= 0.02; };
  const size_t first = std::find_if(levels.begin(), levels.end(), loud) - levels.begin();
  const size_t last = levels.rend() - std::find_if(levels.rbegin(), levels.rend(), loud);
  ASSERT_GT(last, first + 450);
  EXPECT_GT(windows[first + 20][0], windows[first + 20][1]);
  int quiet = 0, off = 0;
  for (size_t w = first; w < last; ++w) {
    quiet += !loud(levels[w]);
    off += loud(levels[w]) && std::abs(Db(levels[w] / 0.2)) > 1.0;
  }
  EXPECT_NEAR(quiet * 0.01, 1.5, 0.3);
  EXPECT_LE(off, 3 * 6 + 2 * 6);  // across changes of tone, and the pause's edges
  // Without the pause's silence the music runs on in one-second segments.
  std::vector<float> sounding;
  for (size_t i = 0; i < normal.size(); ++i)
    if (normal[i] != 0 || (i + 1 < normal.size() && normal[i + 1] != 0)) sounding.push_back(normal[i]);
  ExpectOneSecondSegments(sounding, 0.5);

  EXPECT_NEAR(std::max(Loudest(louder, 1000), Loudest(louder, 1500)), 0.6, 0.6 * 0.12);
  EXPECT_LT(std::max(Loudest(silent, 1000), Loudest(silent, 1500)), 0.002);
}

// A caller that says stop at once: the output opens, the music starts and
// the call ends.
TEST_F(PlayedMusicRecordingTest, AStopAtOnceEndsTheStandalonePlayback) {
  Logs logs;
  std::atomic<bool> keep{false};
  ASSERT_TRUE(RecordFor([&] { qelRecordScreen((dir_ / "short.mp4").c_str()); }, 0.1, [&] {
                qelPlayMusicToDefaultDevice(music_.c_str(), 50, KeepPlaying, &keep);
              }).started);
  logs.Finish();
  const std::string debug = logs.Debug();
  const size_t started = debug.find("Music playback started, synchronized with recording\n");
  ASSERT_NE(started, std::string::npos) << debug;
  EXPECT_NE(debug.find("Music output thread stopped\n", started), std::string::npos);
}

// Nothing to play to: the recording goes on, the music still mixed; the
// playback thread gives up after ten seconds.
class SinklessPlaybackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DebugLogPath();
    RecordingEnvironment::Start(640, 480, false, true);
  }
  static void TearDownTestSuite() { RecordingEnvironment::Stop(); }
};

TEST_F(SinklessPlaybackTest, WithoutAnOutputTheMusicIsStillMixed) {
  REQUIRE_RECORDING_ENVIRONMENT();
  TempDir dir;
  const std::string music = dir / "tones.mp3", path = dir / "sinkless.mp4", mic = RecordingEnvironment::MicInput();
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  qelsetFrameRate(10);
  Logs logs;
  ASSERT_TRUE(RecordFor([&] {
    qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback(path.c_str(), mic.c_str(), music.c_str(), 50);
  }, 11).started);
  logs.Finish();
  const std::string debug = logs.Debug();
  EXPECT_NE(debug.find("WARNING: Failed to initialize playback device, continuing without playback\n"),
            std::string::npos);
  EXPECT_EQ(logs.Out().find("WARNING: Failed to initialize playback device"), std::string::npos);
  EXPECT_NE(debug.find("ERROR: MusicPlaybackThread - playback device not initialized after waiting\n"),
            std::string::npos);
  EXPECT_NE(debug.find("total delay=700 ms"), std::string::npos);
  const std::vector<float> sound = From(SoundOf(path), 2);
  const auto windows = ToneAmplitudes(sound, 44100, kMicAndMusicTones);
  ASSERT_GT(windows.size(), 700u);
  size_t withMusic = 0;
  for (const auto& window : windows) withMusic += std::max(window[1], window[2]) > 0.5 * kMusicLevel * 0.5;
  EXPECT_GT(withMusic, windows.size() * 95 / 100);
}
