// Stream targets against a real nginx RTMP server on loopback.
#include <gtest/gtest.h>

#include "LogCapture.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "TimedRecording.h"
#include "src/ParameterSets.h"
#include "src/PellamCapmill.h"
#include "src/StreamTargets.h"

using namespace capmill;
using namespace testsupport;

namespace {

class StreamTargetsTest : public RecordingSuite<640, 480> {
 protected:
  void SetUp() override {
    RecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(server_.ok()) << "nginx did not start";
  }
  RtmpServer server_;
  TempDir dir_;
};

// A stream a viewer can play: H.264 with its configuration, AAC, no decode errors.
void ExpectPlayableStream(const std::string& flv) {
  const ProbedFile probed = ProbeFile(flv);
  ASSERT_TRUE(probed.ok) << flv;
  ASSERT_NE(probed.Video(), nullptr);
  ASSERT_NE(probed.Audio(), nullptr);
  EXPECT_EQ(probed.Video()->codec, "h264");
  EXPECT_EQ(probed.Audio()->codec, "aac");
  EXPECT_GT(probed.Video()->extradataSize, 8) << "no decoder configuration in the stream's video track";
  int frames = 0;
  EXPECT_EQ(DecodeErrors(flv, &frames), "");
  EXPECT_GT(frames, 15);
}

TEST_F(StreamTargetsTest, ListSkipsEmptyUrlAndFeedsBothTargets) {
  LogCapture logs;
  const std::string path = dir_ / "list.mp4";
  const std::string first = server_.Url("first"), second = server_.Url("second");
  const char* urls[] = {first.c_str(), "", second.c_str()};
  PellamCapmill session = PellamCapmill::FromEngine(path);
  const std::string mic = RecordingEnvironment::MicInput();
  ASSERT_TRUE(RecordFor([&] { session.RecAndStreamAudioVideoEx(mic, urls, 3); }, 3.0).started) << logs.Out();

  const std::string err = logs.Err();
  EXPECT_NE(err.find("Successfully set up streaming to URL 0: " + first + "\n"), std::string::npos);
  EXPECT_NE(err.find("Warning: Skipping empty stream URL at index 1\n"), std::string::npos);
  EXPECT_NE(err.find("Successfully set up streaming to URL 2: " + second + "\n"), std::string::npos);
  EXPECT_NE(err.find("Successfully set up 2 streaming URL(s)\n"), std::string::npos);
  EXPECT_EQ(err.find("Error writing"), std::string::npos) << err;
  EXPECT_EQ(Engine().streamTargets.size(), 0u);  // released after the recording
  EXPECT_EQ(Engine().primaryStreamTarget, nullptr);

  ExpectPlayableStream(server_.RecordedFile("first"));
  ExpectPlayableStream(server_.RecordedFile("second"));
  EXPECT_EQ(DecodeErrors(path), "");
  // The file keeps its parameter sets in-band, as it always did.
  EXPECT_EQ(ProbeFile(path).Video()->codec, "h264");
}

TEST_F(StreamTargetsTest, RefusedOnlyUrlLeavesTheFileRecording) {
  LogCapture logs;
  const std::string path = dir_ / "refused.mp4";
  const std::string refused = "rtmp://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/live/x";
  const char* urls[] = {refused.c_str()};
  PellamCapmill session = PellamCapmill::FromEngine(path);
  const std::string mic = RecordingEnvironment::MicInput();
  ASSERT_TRUE(RecordFor([&] { session.RecAndStreamAudioVideoEx(mic, urls, 1); }, 2.0).started);

  const std::string err = logs.Err();
  const size_t error = err.find("Error setting up stream 0 (" + refused + "): Unable to open stream output (" + refused + "): ");
  const size_t warning = err.find("Warning: No valid streaming URLs were set up. Recording will continue to file only.\n");
  ASSERT_NE(error, std::string::npos) << err;
  ASSERT_NE(warning, std::string::npos) << err;
  EXPECT_LT(error, warning);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  EXPECT_GT(file.Video()->pts.size(), 10u);
  EXPECT_EQ(DecodeErrors(path), "");
}

TEST_F(StreamTargetsTest, EmptySingleUrlEndsTheRecordingBeforeItStarts) {
  LogCapture logs;
  const std::string path = dir_ / "single.mp4";
  PellamCapmill session = PellamCapmill::FromEngine(path);
  session.RecAndStreamAudioVideo(RecordingEnvironment::MicInput(), "");
  EXPECT_EQ(logs.Err(), "Error in RecAndStreamAudioVideo: Stream context URL is not set\n");
  // After the set-up timing line, the error and nothing else.
  const std::string debug = logs.Debug();
  EXPECT_EQ(debug.substr(debug.find('\n') + 1), "Error in RecAndStreamAudioVideo: Stream context URL is not set\n");
  EXPECT_EQ(Engine().primaryStreamTarget, nullptr);
}

TEST(ParameterSets, AreTakenFromAnAnnexBKeyFrame) {
  const uint8_t packet[] = {0, 0, 0, 1, 0x09, 0xf0,                    // access unit delimiter
                            0, 0, 0, 1, 0x67, 0x42, 0x00, 0x1e, 0xab,  // SPS
                            0, 0, 1, 0x68, 0xce, 0x38, 0x80,           // PPS (3-byte start code)
                            0, 0, 0, 1, 0x65, 0x88, 0x84, 0x00};       // IDR slice
  const std::string sets = ExtractParameterSets(packet, sizeof(packet));
  const std::string expected("\0\0\0\1\x67\x42\x00\x1e\xab\0\0\0\1\x68\xce\x38\x80", 17);
  EXPECT_EQ(sets, expected);
  const uint8_t slice[] = {0, 0, 0, 1, 0x41, 0x9a, 0x00};
  EXPECT_EQ(ExtractParameterSets(slice, sizeof(slice)), "");
}

}  // namespace
