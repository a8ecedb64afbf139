// The engine's playback device on a private PulseAudio server: decoded music
// frames written to it are heard on the default sink's monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "Fixtures.h"
#include "LogCapture.h"
#include "MediaProbe.h"
#include "MusicFiles.h"
#include "Processes.h"
#include "SpeakerRecorder.h"
#include "capmill/capmill.h"
#include "src/MediaInput.h"
#include "src/PlaybackDevice.h"

using namespace testsupport;
using namespace capmill;
using capmill::log::Sink;
using Clock = std::chrono::steady_clock;

namespace {

class PlaybackDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = MissingAudioTools(); !why.empty()) GTEST_SKIP() << why;
  }
  void TearDown() override {
    ShutdownPlaybackDevice();
    qelSetMusicVolume(30);
  }
};

// Decodes the music file and writes its frames to the device at real-time
// pace, `lead` seconds ahead, for `seconds`.
void PlayMusic(const std::string& path, double seconds, double lead = 0.2) {
  MediaKind kind = kSharedFileAudio;
  MediaInput music(kind, "24");
  music.OpenFile(path);
  music.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  const auto start = Clock::now();
  double written = 0;
  while (written < seconds) {
    if (av_read_frame(music.ifmt_ctx, packet) < 0) {
      av_seek_frame(music.ifmt_ctx, music.streamIndex, 0, AVSEEK_FLAG_BACKWARD);
      continue;
    }
    if (packet->stream_index == music.streamIndex && avcodec_send_packet(music.av_cntx_in, packet) >= 0) {
      while (avcodec_receive_frame(music.av_cntx_in, frame) >= 0) {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(written - lead)));
        WritePlaybackFrame(frame, music.av_cntx_in);
        written += static_cast<double>(frame->nb_samples) / music.av_cntx_in->sample_rate;
      }
    }
    av_packet_unref(packet);
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
}

// A private sound server and the two-tone music file.
class PlaybackMusicTest : public PlaybackDeviceTest {
 protected:
  void SetUp() override {
    PlaybackDeviceTest::SetUp();
    if (IsSkipped()) return;
    server_ = std::make_unique<VirtualMicrophone>();
    ASSERT_TRUE(server_->ok());
    music_ = dir_ / "tones.mp3";
    ASSERT_TRUE(MakeTwoToneFile(music_, "mp3", 44100));
  }

  TempDir dir_;
  std::unique_ptr<VirtualMicrophone> server_;
  std::string music_;
};

// The music's level in each 10 ms step of the recording.
std::vector<double> AllMusicLevels(const std::vector<float>& sound) {
  std::vector<double> levels;
  for (const auto& window : ToneAmplitudes(sound, 44100, {1000, 1500})) levels.push_back(std::max(window[0], window[1]));
  return levels;
}

size_t FirstLoud(const std::vector<double>& levels) {
  return std::find_if(levels.begin(), levels.end(), [](double level) { return level > 0.02; }) - levels.begin();
}

// The music's level in each window from its first sound on.
std::vector<double> MusicLevels(const std::vector<float>& sound) {
  const std::vector<double> levels = AllMusicLevels(sound);
  return std::vector<double>(levels.begin() + FirstLoud(levels), levels.end());
}

// Windows of levels[from, to) more than 1 dB off the expected level.
int OffLevel(const std::vector<double>& levels, size_t from, size_t to, double expected) {
  int off = 0;
  for (size_t w = from; w < std::min(to, levels.size()); ++w) off += std::abs(20 * std::log10(levels[w] / expected)) > 1.0;
  return off;
}

}  // namespace

TEST_F(PlaybackMusicTest, MusicFramesAreHeardAtTheVolumeAndSpeed) {
  LogCapture logs;
  ASSERT_TRUE(InitPlaybackDevice(40));
  const std::string debug = logs.Debug();
  const size_t at = debug.find("Playback device initialized successfully: sampleRate=44100, channels=2, volume=40%, ");
  ASSERT_NE(at, std::string::npos) << debug;
  const int delayMs = std::atoi(debug.c_str() + debug.find("bufferDelay=", at) + 12);
  EXPECT_GE(delayMs, 450);
  EXPECT_LE(delayMs, 550);

  const std::vector<float> sound = RecordSpeakerWhile([&] { PlayMusic(music_, 5); }).value_or(std::vector<float>());
  const std::vector<double> levels = MusicLevels(sound);
  ASSERT_GT(levels.size(), 450u);
  // Every window holds the music at 0.4 x 40 %, but those across a change of
  // tone, which hold half of each.
  EXPECT_LE(OffLevel(levels, 10, 450, 0.16), 5 * 6) << "windows off the level";  // about 6 at each of 5 changes
  const std::vector<double> changes = DominantToneChanges(sound, 44100, {1000, 1500}, 0.08);
  ASSERT_GE(changes.size(), 3u);
  for (size_t i = 1; i < changes.size(); ++i) EXPECT_NEAR(changes[i] - changes[i - 1], 1.0, 0.05) << "segment " << i;
}

// The volume is read at each write: silent at 0, the file's own level at
// 100, and a change while playing is heard at once.
TEST_F(PlaybackMusicTest, EachWriteTakesTheMusicVolumeOfItsMoment) {
  ASSERT_TRUE(InitPlaybackDevice(0));
  const std::vector<float> sound = RecordSpeakerWhile([&] {
                                     std::thread changes([] {
                                       std::this_thread::sleep_for(std::chrono::seconds(2));
                                       qelSetMusicVolume(100);
                                       std::this_thread::sleep_for(std::chrono::seconds(2));
                                       qelSetMusicVolume(40);
                                     });
                                     PlayMusic(music_, 6);
                                     changes.join();
                                   }).value_or(std::vector<float>());
  const std::vector<double> levels = AllMusicLevels(sound);
  const size_t loud = FirstLoud(levels);
  ASSERT_LT(loud + 350, levels.size());
  // Two seconds played at volume 0 before anything is heard (the recorder
  // started at most half a second before the music).
  EXPECT_GE(loud, 150u);
  EXPECT_LE(OffLevel(levels, loud + 30, loud + 170, 0.4), 2 * 6);
  EXPECT_LE(OffLevel(levels, loud + 230, loud + 350, 0.16), 6);
}

// A suspended sink takes nothing, and the writer must not wait for it; once
// the sink plays again so does the device.
TEST_F(PlaybackMusicTest, ASuspendedSinkNeverHoldsTheWriter) {
  ASSERT_TRUE(InitPlaybackDevice(100));
  ASSERT_NE(server_->Pactl("suspend-sink spk 1"), "");
  const auto begun = Clock::now();
  PlayMusic(music_, 300 * 1152.0 / 44100, 1000);  // 300 frames, as fast as they come
  EXPECT_LT(Clock::now() - begun, std::chrono::seconds(1));
  ASSERT_NE(server_->Pactl("suspend-sink spk 0"), "");
  const std::vector<double> levels =
      MusicLevels(RecordSpeakerWhile([&] { PlayMusic(music_, 2); }).value_or(std::vector<float>()));
  ASSERT_GT(levels.size(), 150u);
  EXPECT_LE(OffLevel(levels, 10, 150, 0.4), 2 * 6);
}

// A reset drops the sound already queued: with 400 ms queued, what is heard
// ends within 100 ms of the reset.
TEST_F(PlaybackMusicTest, AResetSilencesWhatIsQueued) {
  ASSERT_TRUE(InitPlaybackDevice(100));
  const std::vector<double> levels = MusicLevels(RecordSpeakerWhile([&] {
                                       PlayMusic(music_, 1.4, 0.4);  // ends 1 s in, 0.4 s still queued
                                       ResetPlaybackDevice();
                                     }).value_or(std::vector<float>()));
  const auto lastLoud = std::find_if(levels.rbegin(), levels.rend(), [](double level) { return level > 0.02; });
  const double heard = (levels.rend() - lastLoud) * 0.01;
  EXPECT_GT(heard, 0.85);
  EXPECT_LT(heard, 1.0 + 0.1 + 0.03);  // a window's reach
}

namespace {

// A silent frame of `samples` 16-bit samples with the decoder's layout.
AVFrame* SilentFrame(const AVCodecContext* decoder, int samples) {
  AVFrame* frame = av_frame_alloc();
  frame->format = decoder->sample_fmt;
  frame->nb_samples = samples;
  frame->sample_rate = decoder->sample_rate;
  av_channel_layout_copy(&frame->ch_layout, &decoder->ch_layout);
  if (samples > 0 && av_frame_get_buffer(frame, 0) >= 0)
    av_samples_set_silence(frame->extended_data, 0, samples, decoder->ch_layout.nb_channels, decoder->sample_fmt);
  return frame;
}

AVCodecContext* Decoder(int rate, int channels) {
  AVCodecContext* decoder = avcodec_alloc_context3(nullptr);
  decoder->sample_fmt = AV_SAMPLE_FMT_S16;
  decoder->sample_rate = rate;
  av_channel_layout_default(&decoder->ch_layout, channels);
  return decoder;
}

void Write(AVCodecContext* decoder, int samples) {
  AVFrame* frame = SilentFrame(decoder, samples);
  WritePlaybackFrame(frame, decoder);
  av_frame_free(&frame);
}

}  // namespace

TEST_F(PlaybackDeviceTest, UnusableFramesAreSkippedSilentlyAndLargeOnesCut) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(InitPlaybackDevice(100));
  AVCodecContext* stereo = Decoder(22050, 2);
  AVCodecContext* nine = Decoder(22050, 9);
  {
    LogCapture logs;
    Write(stereo, 0);
    Write(stereo, 100001);
    Write(nine, 1024);
    EXPECT_EQ(logs.Debug(), "");
  }
  {
    LogCapture logs;
    Write(stereo, 40000);  // 87075 frames at 48 kHz, 80000 at 44.1 kHz: over the staging buffer
    EXPECT_NE(logs.Debug().find("WARNING: Frame too large, truncating\n"), std::string::npos) << logs.Debug();
  }
  avcodec_free_context(&stereo);
  avcodec_free_context(&nine);
}

TEST_F(PlaybackDeviceTest, ASecondInitShutsTheFirstDownAndShutdownLeavesNothing) {
  VirtualMicrophone server;
  ASSERT_TRUE(server.ok());
  const std::string streamsBefore = server.Pactl("list short sink-inputs");
  const int threadsBefore = ThreadCount();
  LogCapture logs;
  ASSERT_TRUE(InitPlaybackDevice(30));
  ASSERT_TRUE(InitPlaybackDevice(30));
  const std::string debug = logs.Debug();
  const size_t again = debug.find("Playback device already initialized, shutting down for clean start...\n");
  const size_t down = debug.find("Playback device shutdown complete\n");
  const size_t second = debug.rfind("Playback device initialized successfully: ");
  ASSERT_NE(again, std::string::npos) << debug;
  EXPECT_LT(again, down);
  EXPECT_LT(down, second);
  ShutdownPlaybackDevice();
  EXPECT_FALSE(PlaybackDeviceFormat(nullptr, nullptr));
  EXPECT_EQ(server.Pactl("list short sink-inputs"), streamsBefore);
  EXPECT_EQ(ThreadCount(), threadsBefore);
  {
    LogCapture quiet;
    ShutdownPlaybackDevice();  // none open: nothing happens, nothing is said
    EXPECT_EQ(quiet.Debug(), "");
  }
}

TEST_F(PlaybackDeviceTest, NothingToPlayToFailsWithinSeconds) {
  VirtualMicrophone server(false, true);
  ASSERT_TRUE(server.ok());
  LogCapture logs;
  const auto begun = Clock::now();
  EXPECT_FALSE(InitPlaybackDevice(30));
  EXPECT_LT(Clock::now() - begun, std::chrono::seconds(3));
  EXPECT_NE(logs.Debug().find("ERROR: Failed to get default audio endpoint\nPlayback device shutdown complete\n"),
            std::string::npos)
      << logs.Debug();
  EXPECT_FALSE(PlaybackDeviceFormat(nullptr, nullptr));
}
