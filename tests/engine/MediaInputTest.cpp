// Capture inputs, encoders and the output file, on a real virtual desktop and
// a real virtual microphone.
#include <gtest/gtest.h>

#include <filesystem>

extern "C" {
#include <libavutil/opt.h>
}

#include "LogCapture.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "capmill/capmill.h"
#include "src/Output.h"
#include "src/PellamCapmill.h"
#include "src/RecordingInputs.h"

using namespace capmill;
using namespace testsupport;

namespace {

class MediaInputTest : public RecordingSuite<1280, 720> {
 protected:
  void TearDown() override {
    qelsetFrameRate(10);
    qelSetCrf(30);
    qelSetVideoRes(640, 480);
  }
  TempDir dir_;
};

std::string ErrorOf(const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

TEST(MediaInputKinds, ReservedKindsAreAcceptedAndUnknownOnesRefused) {
  MediaKind reserved = 3;
  MediaInput input(reserved, "10");
  EXPECT_EQ(input.inputOptions, nullptr);  // no options for kinds 3 and 4
  EXPECT_EQ(input.frameRate, 10);

  MediaKind five = 5, minusOne = -1;
  EXPECT_THROW(MediaInput(five, "10"), std::invalid_argument);
  EXPECT_EQ(ErrorOf([&] { MediaInput bad(five, "10"); }), "Please in put valid parameter");
  EXPECT_EQ(ErrorOf([&] { MediaInput bad(minusOne, "10"); }), "Unknown Media Input settings");
}

TEST(MediaInputKinds, FrameRateOfZeroOrLessDividesNothing) {
  MediaKind screen = kScreenVideo;
  MediaInput zero(screen, "0");
  EXPECT_EQ(zero.frameRate, 0);
  EXPECT_EQ(zero.timeBaseDen, 0);
  MediaInput negative(screen, "-5");
  EXPECT_EQ(negative.frameRate, -5);
  MediaInput text(screen, "abc");
  EXPECT_EQ(text.frameRate, 0);
  // The option reaches the device unchanged.
  EXPECT_STREQ(av_dict_get(negative.inputOptions, "framerate", nullptr, 0)->value, "-5");
}

TEST_F(MediaInputTest, SessionOpensBothDevicesAndEncodersAsConfigured) {
  qelsetFrameRate(15);
  qelSetCrf(28);
  qelSetVideoRes(640, 360);
  const std::string path = dir_ / "header.mp4";
  const PellamCapmill session = PellamCapmill::FromEngine(path);
  const std::string mic = RecordingEnvironment::MicInput();
  RecordingInputs inputs;
  OpenInputs(inputs, session, &mic);

  const AVCodecContext* video = inputs.screen->encoderContext;
  EXPECT_EQ(video->codec_id, AV_CODEC_ID_H264);
  EXPECT_EQ(video->pix_fmt, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(video->width, 640);
  EXPECT_EQ(video->height, 360);
  EXPECT_EQ(video->time_base.num, 1);
  EXPECT_EQ(video->time_base.den, 15);
  EXPECT_EQ(video->gop_size, 15);
  uint8_t* crf = nullptr;
  ASSERT_GE(av_opt_get(video->priv_data, "crf", 0, &crf), 0);
  EXPECT_EQ(std::stod(reinterpret_cast<char*>(crf)), 28.0);
  av_free(crf);

  const AVCodecContext* audio = inputs.audio->encoderContext;
  EXPECT_EQ(audio->codec_id, AV_CODEC_ID_AAC);
  EXPECT_EQ(audio->profile, FF_PROFILE_AAC_LOW);
  EXPECT_EQ(audio->sample_fmt, AV_SAMPLE_FMT_FLTP);
  EXPECT_EQ(audio->sample_rate, inputs.audio->av_cntx_in->sample_rate);
  EXPECT_EQ(audio->sample_rate, 44100);
  EXPECT_EQ(audio->frame_size, 1024);

  // One container, two tracks: video first, then audio.
  EXPECT_EQ(inputs.screen->OutputContainer(), inputs.audio->OutputContainer());
  ASSERT_EQ(inputs.screen->OutputContainer()->nb_streams, 2u);
  EXPECT_EQ(inputs.screen->outputStream->index, 0);
  EXPECT_EQ(inputs.audio->outputStream->index, 1);
  EXPECT_EQ(inputs.screen->outputStream->time_base.den, 90000);  // the container's default for video

  // The file takes its path with its first packets: a recording that ends
  // before them leaves nothing behind.
  EXPECT_FALSE(std::filesystem::exists(path));
  inputs.audio.reset();
  inputs.screen.reset();
  EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));
}

TEST_F(MediaInputTest, ZeroSizeRecordsTheCapturedDesktopSize) {
  qelSetVideoRes(0, 0);
  const std::string path = dir_ / "full.mp4";
  const PellamCapmill session = PellamCapmill::FromEngine(path);
  RecordingInputs inputs;
  OpenInputs(inputs, session, nullptr);
  EXPECT_EQ(inputs.screen->encoderContext->width, 1280);
  EXPECT_EQ(inputs.screen->encoderContext->height, 720);
}

TEST_F(MediaInputTest, UnknownDevicesAndPathsFailWithTheirMessages) {
  MediaKind audioKind = kSharedFileAudio;
  MediaInput audio(audioKind, "24");
  EXPECT_EQ(ErrorOf([&] { audio.OpenDevice("dshow", "audio=No Such Microphone"); }),
            "Unable to find media format :audio=No Such Microphone");
  EXPECT_EQ(ErrorOf([&] { audio.OpenDevice("nosuchgrabber", "desktop"); }), "Unable to find input :nosuchgrabber");

  MediaKind screenKind = kScreenVideo;
  MediaInput screen(screenKind, "10");
  screen.OpenDevice("gdigrab", "desktop");
  screen.OpenDecoder(AVMEDIA_TYPE_VIDEO);
  const std::string noExtension = dir_ / "recording";
  EXPECT_EQ(ErrorOf([&] { OpenOutput(screen, noExtension); }),
            "No matching format found for file: " + noExtension +
                ". Please try with correct file extension (e.g., .mp4, .mkv, .avi).");

  MediaInput wrongType(screenKind, "10");
  wrongType.OpenDevice("gdigrab", "desktop");
  EXPECT_EQ(ErrorOf([&] { wrongType.OpenDecoder(AVMEDIA_TYPE_AUDIO); }), "Type of stream in parameter has not found");
}

TEST_F(MediaInputTest, InputsShareTheContainerUnlessThePathDiffersOrIsTemporary) {
  // All inputs of a recording are built before any output is opened: building
  // one forgets the shared container.
  MediaKind screenKind = kScreenVideo, audioKind = kSharedFileAudio, ownKind = kOwnFileAudio;
  MediaInput screen(screenKind, "10"), same(audioKind, "24"), temp(ownKind, "24"), other(ownKind, "24");
  screen.OpenDevice("gdigrab", "desktop");
  screen.OpenDecoder(AVMEDIA_TYPE_VIDEO);
  OpenOutput(screen, dir_ / "a.mp4");
  AVFormatContext* shared = Engine().sharedOutput;
  ASSERT_NE(shared, nullptr);

  same.OpenDevice("dshow", RecordingEnvironment::MicInput());
  same.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  OpenOutput(same, dir_ / "a.mp4");
  EXPECT_EQ(same.ownOutput, nullptr);
  EXPECT_EQ(shared->nb_streams, 2u);  // joined the screen's container

  temp.OpenDevice("dshow", RecordingEnvironment::MicInput());
  temp.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  OpenOutput(temp, dir_ / "a_temp.m4a");
  ASSERT_NE(temp.ownOutput, nullptr);
  EXPECT_NE(temp.ownOutput, shared);
  EXPECT_EQ(Engine().sharedOutput, temp.ownOutput);  // and became the shared one
  EXPECT_EQ(temp.ownOutput->nb_streams, 1u);

  other.OpenDevice("dshow", RecordingEnvironment::MicInput());
  other.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  OpenOutput(other, dir_ / "b.m4a");
  ASSERT_NE(other.ownOutput, nullptr);
  EXPECT_NE(other.ownOutput, temp.ownOutput);
  EXPECT_EQ(Engine().sharedOutput, other.ownOutput);
}

}  // namespace
