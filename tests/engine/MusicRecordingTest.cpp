// Recordings with background music through libcapmill.so, on the virtual
// desktop and microphone, measured window by window.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

#include "MediaProbe.h"
#include "MusicChecks.h"
#include "MusicFiles.h"
#include "RecordingEnvironment.h"
#include "StdStreamCapture.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

const std::vector<double>& kTones = kMicAndMusicTones;

class MusicRecordingTest : public RecordingSuite<640, 480> {
 protected:
  void SetUp() override {
    RecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qelsetFrameRate(10);
    qelSetVideoRes(640, 480);
  }
  void TearDown() override { qelSetMusicVolume(30); }

  // Records `seconds` with the music at percent (running `during` once the
  // recording runs); returns the decoded sound from its first sound on.
  std::vector<float> RecordWithMusic(const std::string& path, const std::string& music, int percent, double seconds,
                                     const std::function<void()>& during = {}) {
    const std::string mic = RecordingEnvironment::MicInput();
    EXPECT_TRUE(RecordFor([&] { qelRecordScreenWithAudioAndMusic(path.c_str(), mic.c_str(), music.c_str(), percent); },
                          seconds, during)
                    .started);
    return SoundOf(path);
  }

  TempDir dir_;
};

}  // namespace

TEST_F(MusicRecordingTest, MusicIsMixedAtItsVolumeAndSpeed) {
  for (const auto& [codec, rate] : std::vector<std::pair<std::string, int>>{{"mp3", 44100}, {"wav", 48000}}) {
    const std::string music = dir_ / ("tones." + codec);
    ASSERT_TRUE(MakeTwoToneFile(music, codec, rate));
    const std::vector<float> sound = RecordWithMusic(dir_ / ("music-" + codec + ".mp4"), music, 50, 6);
    ExpectBothTonesEverywhere(sound, 0.5);
    ExpectOneSecondSegments(sound, 0.5);
  }
}

// Music at a lower rate than the recording's, for 20 s, at 250 %: it keeps
// its speed to the end and plays at full volume, no louder.
TEST_F(MusicRecordingTest, LowRateMusicKeepsItsSpeedAndTwoHundredFiftyActsAsAHundred) {
  const std::string music = dir_ / "tones22050.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 22050));
  const std::vector<float> sound = RecordWithMusic(dir_ / "low-rate.mp4", music, 250, 20);
  ExpectBothTonesEverywhere(sound, 1.0);
  ExpectOneSecondSegments(sound, 1.0);
  const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.5 * kMusicLevel);
  ASSERT_GE(changes.size(), 17u);
  EXPECT_NEAR(changes.back() - changes[changes.size() - 2], 1.0, 0.05);  // still one second at the end
}

TEST_F(MusicRecordingTest, VolumeZeroLeavesTheMicrophoneAlone) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  StdStreamCapture streams;
  const std::vector<float> sound = RecordWithMusic(dir_ / "silent-music.mp4", music, 0, 3);
  const std::string err = streams.Err(), out = streams.Out();
  for (const char* line : {"Starting recording threads with background music...\n",
                           "MicCaptureThreadWithMusic: Starting with music volume 0.00\n",
                           "=== Audio mixing thread starting (mic + music) ===\n",
                           "Audio mixing thread stopping, flushing remaining FIFO data...\n",
                           "Audio mixing thread ending normally\n", "All recording threads with music completed\n"})
    EXPECT_NE(err.find(line), std::string::npos) << line << err;
  for (const char* line : {"Opening music file: ", "Music file opened successfully, stream index: 0\n",
                           "Music codec context opened, sample rate: 44100, channels: 2\n",
                           "Calling VideoAudioWithMusicThreadDriver with volume 0.00\n",
                           "VideoAudioWithMusicThreadDriver completed\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << out;
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 100u);
  for (const auto& window : windows) {
    EXPECT_LT(Db(std::max(window[1], window[2]) / window[0]), -50);
    if (HasFailure()) break;
  }
}

TEST_F(MusicRecordingTest, AMissingMusicFileStillGivesARecording) {
  const std::string missing = dir_ / "no-such-music.mp3";
  StdStreamCapture streams;
  const std::vector<float> sound = RecordWithMusic(dir_ / "no-music.mp4", missing, 50, 3);
  EXPECT_NE(streams.Out().find("Error in RecAudioVideoWithMusic: Unable to find media format :" + missing + "\n"),
            std::string::npos);
  EXPECT_GT(ToneShare(sound, 440), 0.8);
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 100u);
  EXPECT_LT(Db(std::max(windows[100][1], windows[100][2]) / windows[100][0]), -50);
}

TEST_F(MusicRecordingTest, AVolumeChangeIsHeardFromTheNextBlock) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  const std::vector<float> sound = RecordWithMusic(dir_ / "louder.mp4", music, 20, 6, [] {
    std::this_thread::sleep_for(std::chrono::seconds(3));
    qelSetMusicVolume(60);
  });
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 450u);
  const auto music_ = [&](size_t w) { return std::max(windows[w][1], windows[w][2]); };
  // Before the change (the first 2 s of sound) and after it (from 3.5 s).
  double before = 0, after = 0, micBefore = 0, micAfter = 0;
  for (size_t w = 20; w < 200; ++w) before += music_(w) / 180, micBefore += windows[w][0] / 180;
  for (size_t w = 350; w < windows.size(); ++w)
    after += music_(w) / (windows.size() - 350), micAfter += windows[w][0] / (windows.size() - 350);
  EXPECT_NEAR(Db(after / before), Db(3), 1.5);
  EXPECT_NEAR(Db(micAfter / micBefore), 0, 0.5);
}

TEST_F(MusicRecordingTest, APauseHoldsTheMusicWhereItWas) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  const std::string path = dir_ / "paused.mp4";
  const std::vector<float> sound = RecordWithMusic(path, music, 50, 6, [] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    qelPauseRecording();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    qelResumeRecording();
  });
  const ProbedFile file = ProbeFile(path);
  ASSERT_NE(file.Audio(), nullptr);
  // 6 s of wall time less the 2 s pause, counted from the first sound.
  EXPECT_NEAR(file.Audio()->DurationSeconds() - FirstSoundSeconds(DecodeAudio(path)), 4.0, 0.3);
  ExpectBothTonesEverywhere(sound, 0.5, true);
  // The segments keep their length across the pause: the music went on in
  // the segment it was paused in.
  ExpectOneSecondSegments(sound, 0.5);
}

// The microphone delivers nothing for a second (its sink suspended): the
// track is filled with silence where the sound never came, and the music
// plays on through it instead of stopping with the microphone.
TEST_F(MusicRecordingTest, AMicrophoneGapDoesNotHoldTheMusic) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  VirtualMicrophone& mic = *RecordingEnvironment::Get().mic;
  const std::vector<float> sound = RecordWithMusic(dir_ / "gap.mp4", music, 50, 6, [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    EXPECT_NE(mic.Pactl("suspend-sink tone 1"), "");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_NE(mic.Pactl("suspend-sink tone 0"), "");
  });
  // The gap is there: a stretch without the microphone's tone.
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 400u);
  size_t withoutMic = 0;
  for (const auto& window : windows) withoutMic += window[0] < 0.05 * windows[10][0];
  EXPECT_GT(withoutMic, 50u);
  ExpectOneSecondSegments(sound, 0.5);
}

TEST_F(MusicRecordingTest, MusicBehindAVideoStreamIsFound) {
  const std::string music = dir_ / "with-picture.mp4";
  const std::string tone = "0.4*sin(2*PI*if(lt(t,1),1000*t,1500*t))";
  ASSERT_EQ(RunCommand("ffmpeg -v error -nostdin -y -f lavfi -i testsrc=size=160x120:rate=10:duration=2 -f lavfi -i "
                       "\"aevalsrc=exprs='" + tone + "|" + tone + "':s=44100:d=2\" -map 0:v -map 1:a -c:v libx264 "
                       "-c:a aac \"" + music + "\""),
            0);
  const std::vector<float> sound = RecordWithMusic(dir_ / "behind-video.mp4", music, 50, 4);
  // The music is there; where it starts again, the decoder's restart may
  // leave a few windows short of it.
  const auto windows = ToneAmplitudes(sound, 44100, kTones);
  ASSERT_GT(windows.size(), 200u);
  size_t withMusic = 0;
  for (const auto& window : windows) withMusic += std::max(window[1], window[2]) > 0.5 * kMusicLevel * 0.5;
  EXPECT_GT(withMusic, windows.size() * 95 / 100);
}

// A music path that is a named pipe nobody writes: the engine waits in the
// open; a stop then, and the pipe closed unwritten, end the call without
// any recording (the fallback must not start: nobody would stop it).
TEST_F(MusicRecordingTest, AStopWhileTheMusicOpensEndsEverything) {
  const std::string pipe = dir_ / "music.pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string path = dir_ / "never.mp4", mic = RecordingEnvironment::MicInput();
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    qelRecordScreenWithAudioAndMusic(path.c_str(), mic.c_str(), pipe.c_str(), 50);
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(returned);  // waiting in the open
  qelStopRecording();
  {
    const int writer = ::open(pipe.c_str(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ::close(writer);
  }
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, std::chrono::seconds(10)));
  if (!returned) qelStopRecording();
  worker.join();
  EXPECT_EQ(qelGetGlobalTimer(), nullptr);
  // Nothing records on: the next recording may start.
  const std::string next = dir_ / "next.mp4";
  EXPECT_TRUE(RecordFor([&] { qelRecordScreenWithAudio(next.c_str(), mic.c_str()); }, 1.5).started);
}

TEST_F(MusicRecordingTest, StreamedMusicReachesTheServer) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer server;
  ASSERT_TRUE(server.ok());
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  const std::string path = dir_ / "streamed.mp4", url = server.Url("music"), mic = RecordingEnvironment::MicInput();
  StdStreamCapture streams;
  ASSERT_TRUE(RecordFor([&] {
    qelRecordAndStreamDesktopOneWithMusic(mic.c_str(), path.c_str(), url.c_str(), music.c_str(), 50);
  }, 4).started);
  const std::string out = streams.Out();
  EXPECT_NE(out.find("[DEBUG] Parameters - Mic: " + mic + ", MP4: " + path + ", Stream: " + url + ", Music: " + music +
                     ", Volume: 50%\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Opening music file for streaming: " + music + "\n"), std::string::npos);
  for (const std::string& output : {path, server.RecordedFile("music")}) {
    SCOPED_TRACE(output);
    const std::vector<float> sound = SoundOf(output);
    ExpectBothTonesEverywhere(sound, 0.5);
  }

  // A list of servers with a music file that does not open: reported, no file.
  const std::string listed = dir_ / "listed.mp4";
  const char* urls[] = {url.c_str()};
  StdStreamCapture failed;
  qelRecordAndStreamDesktopWithMusic(listed.c_str(), mic.c_str(), urls, 1, (dir_ / "missing.mp3").c_str(), 50);
  EXPECT_NE(failed.Err().find("Error in RecAndStreamAudioVideoExWithMusic: Unable to find media format :"),
            std::string::npos)
      << failed.Err();
  EXPECT_FALSE(std::filesystem::exists(listed));
}
