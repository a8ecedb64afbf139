// The capture threads on the virtual desktop and microphone, checked by
// probing and decoding the files they write.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "LogCapture.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "TimedRecording.h"
#include "capmill/capmill.h"
#include "src/CaptureThreads.h"
#include "src/CombineFiles.h"
#include "src/PellamCapmill.h"
#include "src/RecordingInputs.h"
#include "src/SeparatePaths.h"
#include "src/ThreadDrivers.h"

using namespace capmill;
using namespace testsupport;
using capmill::log::Sink;

namespace {

constexpr int64_t kFrameInterval90k = 9000;  // at 10 fps

class CaptureThreadsTest : public RecordingSuite<640, 480> {
 protected:
  void SetUp() override {
    RecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qelsetFrameRate(10);
    qelSetVideoRes(640, 480);
    qelSetAudioDelay(500);
  }
  void TearDown() override { qelSetAudioDelay(500); }

  // Opens a screen-and-microphone recording, lets the test change its inputs,
  // then runs the driver for the given time.
  void Record(const std::string& path, double seconds, const std::function<void(RecordingInputs&)>& adjust = {},
              const std::function<void()>& during = {}) {
    const PellamCapmill session = PellamCapmill::FromEngine(path);
    const std::string mic = RecordingEnvironment::MicInput();
    RecordFor(
        [&] {
          RecordingInputs inputs;
          OpenInputs(inputs, session, &mic);
          if (adjust) adjust(inputs);
          VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
        },
        seconds, during);
  }
  TempDir dir_;
};

TEST_F(CaptureThreadsTest, ThreeSecondsAtTenFramesPerSecond) {
  LogCapture logs;
  const std::string path = dir_ / "three.mp4";
  Record(path, 3.0);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_EQ(file.streams[0].codec, "h264");
  EXPECT_EQ(file.streams[1].codec, "aac");
  const ProbedStream& video = file.streams[0];
  EXPECT_GE(video.pts.size(), 28u);
  EXPECT_LE(video.pts.size(), 32u);
  const std::vector<int64_t> pts = video.SortedPts();
  for (size_t i = 1; i < pts.size(); ++i) EXPECT_LT(pts[i - 1], pts[i]) << "frame " << i;
  EXPECT_EQ(DecodeErrors(path), "");

  // The sound starts and ends with the picture: both tracks place what was
  // captured at one moment at the same time.
  const std::vector<float> sound = DecodeAudio(path);
  const ProbedStream& audio = file.streams[1];
  EXPECT_NEAR(audio.StartSeconds() + audio.DurationSeconds(), video.StartSeconds() + video.DurationSeconds(), 0.35);
  EXPECT_NEAR(audio.StartSeconds() + FirstSoundSeconds(sound), video.StartSeconds(), 0.15);
  EXPECT_EQ(SilentBlocksInside(sound), 0);
  EXPECT_GT(Rms(sound), 0.05);
  EXPECT_GT(ToneShare(sound, 440), 0.8);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Video thread ending normally\n"), 1);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Audio thread ending normally\n"), 1);
  EXPECT_EQ(qelGetGlobalTimer(), nullptr);  // cleared with the recording's end
}

// The encoder's own summary of the average quantiser of its P frames.
std::vector<double> EncoderQps;
void KeepEncoderSummary(void*, int level, const char* format, va_list args) {
  char line[1024];
  std::vsnprintf(line, sizeof(line), format, args);
  if (const char* at = std::strstr(line, "frame P:"); at && std::strstr(at, "Avg QP:"))
    EncoderQps.push_back(std::atof(std::strstr(at, "Avg QP:") + 7));
}

TEST_F(CaptureThreadsTest, QualityFollowsTheCrf) {
  EncoderQps.clear();
  av_log_set_callback(KeepEncoderSummary);
  qelsetFrameRate(30);
  for (const int crf : {20, 35}) {
    qelSetCrf(crf);
    Record(dir_ / ("crf" + std::to_string(crf) + ".mp4"), 1.5);
  }
  av_log_set_callback(av_log_default_callback);
  qelSetCrf(30);
  ASSERT_EQ(EncoderQps.size(), 2u);
  // Wall-clock stamps must not make the rate control ignore the CRF (it
  // then spent far more bits: QP 5 at CRF 20). On scrolling content the
  // encoder settles a few steps above the CRF for P frames.
  EXPECT_GE(EncoderQps[0], 20 - 4);
  EXPECT_LE(EncoderQps[0], 20 + 8);
  EXPECT_GE(EncoderQps[1], 35 - 4);
  EXPECT_LE(EncoderQps[1], 35 + 8);
  EXPECT_NEAR(EncoderQps[1] - EncoderQps[0], 15, 5);
}

TEST_F(CaptureThreadsTest, PauseLeavesNoGap) {
  const std::string path = dir_ / "pause.mp4";
  Record(path, 4.0, {}, [] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    qelPauseRecording();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    qelResumeRecording();
  });
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  const std::vector<int64_t> pts = file.Video()->SortedPts();
  ASSERT_GT(pts.size(), 12u);
  int64_t largestStep = 0;
  for (size_t i = 1; i < pts.size(); ++i) largestStep = std::max(largestStep, pts[i] - pts[i - 1]);
  EXPECT_LT(largestStep, 3 * kFrameInterval90k);
  EXPECT_NEAR(file.Video()->DurationSeconds(), 2.0, 0.4);  // 4 s of wall time less the 2 s pause
  const ProbedStream& audio = *file.Audio();
  EXPECT_NEAR(audio.StartSeconds() + audio.DurationSeconds(),
              file.Video()->StartSeconds() + file.Video()->DurationSeconds(), 0.4);
  EXPECT_EQ(DecodeErrors(path), "");
  const std::vector<float> sound = DecodeAudio(path);
  EXPECT_EQ(SilentBlocksInside(sound), 0);  // no hole where the pause was
  EXPECT_GT(ToneShare(sound, 440), 0.8);
}

TEST_F(CaptureThreadsTest, AudioDelayShiftsTheFirstVideoFrame) {
  for (const int delayMs : {500, 0}) {
    qelSetAudioDelay(delayMs);
    const std::string path = dir_ / ("delay" + std::to_string(delayMs) + ".mp4");
    Record(path, 1.5);
    const ProbedFile file = ProbeFile(path);
    ASSERT_TRUE(file.ok);
    const int64_t first = file.Video()->SortedPts().front();
    EXPECT_GE(first, delayMs * 90) << "delay " << delayMs;
    // The grabber delivers its first frame one interval after it opens.
    EXPECT_LT(first, delayMs * 90 + kFrameInterval90k * 3 / 2) << "delay " << delayMs;
    // The sound stays where it was captured: the delay moves the picture
    // against it.
    const double soundStarts = file.Audio()->StartSeconds() + FirstSoundSeconds(DecodeAudio(path));
    EXPECT_NEAR(soundStarts, 0.5, 0.12) << "delay " << delayMs;
  }
}

TEST_F(CaptureThreadsTest, FifteenReadErrorsReportOnceAndRecover) {
  LogCapture logs;
  const std::string path = dir_ / "errors15.mp4";
  std::atomic<int> failures{0};
  Record(path, 2.5, [&](RecordingInputs& inputs) {
    auto read = inputs.screen->readPacket;
    inputs.screen->readPacket = [read, &failures](AVPacket* packet) {
      if (failures < 15) return ++failures, AVERROR(EIO);
      return read(packet);
    };
  });
  EXPECT_EQ(failures, 15);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Error reading video frame (attempt "), 1);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Error reading video frame (attempt 10/100): " + AvErrorText(AVERROR(EIO)) +
                                         ". Retrying...\n"),
            1);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Too many consecutive errors"), 0);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  EXPECT_GT(file.Video()->pts.size(), 10u);  // recovered after the errors
}

// A screen that fails for good ends the whole recording: the last picture
// stands until the source is given up, and the sound ends there too.
TEST_F(CaptureThreadsTest, HundredReadErrorsEndTheWholeRecording) {
  LogCapture logs;
  const std::string path = dir_ / "errors100.mp4";
  int64_t firstReadTicks = 0;
  Record(path, 11.0, [&](RecordingInputs& inputs) {
    auto read = inputs.screen->readPacket;
    inputs.screen->readPacket = [read, &firstReadTicks](AVPacket* packet) {
      // Good frames for two seconds, then the device fails for good.
      if (!firstReadTicks) firstReadTicks = NowTicks();
      if (NowTicks() - firstReadTicks < 2000 * kTicksPerMs) return read(packet);
      return AVERROR(EIO);
    };
  });
  EXPECT_EQ(logs.Count(Sink::StdErr, "Too many consecutive errors reading video frame (100 errors). Last error: " +
                                         AvErrorText(AVERROR(EIO)) + ". Stopping recording.\n"),
            1);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Error reading video frame (attempt "), 9);  // 10, 20, ... 90
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok) << "the file must still be finished";
  EXPECT_LE(file.Video()->pts.size(), 23u);
  EXPECT_GE(file.Video()->pts.size(), 16u);
  EXPECT_EQ(logs.Count(Sink::StdErr, "Screen capture lost: recording stopped after 00:0"), 1);
  // Given up about 7.5 s after the failure, well before the stop at 11 s.
  EXPECT_LT(file.Audio()->DurationSeconds(), 10.5);
  EXPECT_NEAR(file.Audio()->StartSeconds() + file.Audio()->DurationSeconds(),
              file.Video()->StartSeconds() + file.Video()->DurationSeconds(), 0.5);
  EXPECT_EQ(DecodeErrors(path), "");
}

// Audio packets made by the test: n stereo 16-bit samples of a quiet ramp.
int FeedSamples(AVPacket* packet, int samples) {
  if (av_new_packet(packet, samples * 4) < 0) return AVERROR(ENOMEM);
  for (int i = 0; i < samples * 2; ++i) reinterpret_cast<int16_t*>(packet->data)[i] = static_cast<int16_t>(i % 200);
  return 0;
}

void ExpectFlushLines(int leftOver) {
  LogCapture logs;
  TempDir dir;
  const std::string path = dir / "fifo.mp4";
  const PellamCapmill session = PellamCapmill::FromEngine(path);
  const std::string mic = RecordingEnvironment::MicInput();
  RecordingInputs inputs;
  OpenInputs(inputs, session, &mic);
  ASSERT_EQ(inputs.audio->av_cntx_in->sample_fmt, AV_SAMPLE_FMT_S16);
  ASSERT_EQ(inputs.audio->av_cntx_in->ch_layout.nb_channels, 2);
  int step = 0;
  inputs.audio->readPacket = [&](AVPacket* packet) {
    switch (step++) {
      case 0: return FeedSamples(packet, 1024);
      case 1: return leftOver > 0 ? FeedSamples(packet, leftOver) : AVERROR(EAGAIN);
      default:
        qelStopRecording();
        return AVERROR(EAGAIN);
    }
  };
  VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
  const std::string err = logs.Err();
  if (leftOver > 0) {
    EXPECT_NE(err.find("Flushing " + std::to_string(leftOver) + " samples from FIFO...\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Flushing final " + std::to_string(leftOver) + " samples from FIFO...\n"), std::string::npos);
    EXPECT_NE(err.find("FIFO flush completed. Remaining samples: 0\n"), std::string::npos);
  } else {
    EXPECT_EQ(err.find("Flushing"), std::string::npos) << err;
    EXPECT_EQ(err.find("FIFO flush completed"), std::string::npos);
  }
  EXPECT_NE(err.find("Audio thread stopping, flushing remaining FIFO data...\n"), std::string::npos);
  inputs.audio.reset();
  inputs.screen.reset();
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Audio(), nullptr);
  // 1024 samples, plus the short final frame when one was left over.
  // The encoder is drained either way; it adds one packet of its own delay.
  EXPECT_EQ(file.Audio()->pts.size(), leftOver > 0 ? 3u : 2u);
}

TEST_F(CaptureThreadsTest, StopFlushesTheFifoOnlyWhenSamplesAreLeft) {
  ExpectFlushLines(700);
  ExpectFlushLines(0);
}

TEST_F(CaptureThreadsTest, StopWhileIdleDoesNotStopTheNextRecording) {
  qelStopRecording();
  const std::string path = dir_ / "after-idle-stop.mp4";
  Record(path, 1.5);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  EXPECT_GT(file.Video()->pts.size(), 10u);
}

}  // namespace

// A recording into separate files whose audio thread fails after 2 s: the
// audio file is still finished, so the combined file holds the picture to
// the end and the sound up to the failure.
TEST_F(CaptureThreadsTest, AFailedAudioThreadStillLeavesACombinedFile) {
  const std::string path = dir_ / "failed.mp4";
  const PellamCapmill session = PellamCapmill::FromEngine(path);
  const std::string mic = RecordingEnvironment::MicInput();
  const SeparatePaths paths = GenerateSeparatePaths(path);
  LogCapture logs;
  RecordFor(
      [&] {
        RecordingInputs inputs;
        ASSERT_TRUE(OpenSeparateInputs(inputs, session, paths, mic));
        auto read = inputs.audio->readPacket;
        const auto begun = std::chrono::steady_clock::now();
        inputs.audio->readPacket = [read, begun](AVPacket* packet) {
          if (std::chrono::steady_clock::now() - begun > std::chrono::seconds(2))
            throw CaptureError("the test's failure");
          return read(packet);
        };
        VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
      },
      5);
  EXPECT_NE(logs.Err().find("Audio thread crashed, but continuing...\n"), std::string::npos);
  ASSERT_EQ(CombineSeparateFiles(paths.video.c_str(), paths.audio.c_str(), path.c_str()), 1);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok && file.Video() && file.Audio());
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(file.Video()->DurationSeconds(), 4.5);
  EXPECT_NEAR(file.Audio()->StartSeconds() + file.Audio()->DurationSeconds() - file.Video()->StartSeconds(), 2.0,
              0.5);
}
