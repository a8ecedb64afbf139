// The capmill command: option parsing, and real recordings through the binary.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "MediaProbe.h"
#include "RecordOptions.h"
#include "RecordingEnvironment.h"

using namespace capmill::cli;
using namespace testsupport;

namespace {

std::optional<RecordOptions> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string message;
  auto options = ParseRecordOptions(args, message);
  if (error) *error = message;
  return options;
}

TEST(RecordOptions, ParsesEveryOption) {
  const auto options = Parse({"out.mp4", "--seconds", "2.5", "--fps", "30", "--crf", "23", "--size", "1280x720",
                              "--mic", "USB Mic", "--stream", "rtmp://a/live/x", "--stream", "rtmp://b/live/y"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->output, "out.mp4");
  EXPECT_DOUBLE_EQ(options->seconds, 2.5);
  EXPECT_EQ(options->fps, 30);
  EXPECT_EQ(options->crf, 23);
  EXPECT_EQ(options->width, 1280);
  EXPECT_EQ(options->height, 720);
  EXPECT_EQ(options->mic, "USB Mic");
  EXPECT_EQ(options->streams.size(), 2u);
  EXPECT_TRUE(Parse({"--help"})->help);
}

TEST(RecordOptions, RefusesBadInputWithOneClearLine) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"a.mp4", "--size", "1280"}, "--size takes WxH"},
      {{"a.mp4", "--size", "641x480"}, "--size takes WxH"},
      {{"a.mp4", "--size", "0x0"}, "--size takes WxH"},
      {{"a.mp4", "--fps", "0"}, "--fps takes a whole number from 1 to 120"},
      {{"a.mp4", "--fps", "12abc"}, "--fps takes"},
      {{"a.mp4", "--seconds", "-1"}, "--seconds takes a positive number"},
      {{"a.mp4", "--bogus"}, "unknown option '--bogus'"},
      {{"a.mp4", "--crf"}, "--crf needs a value"},
      {{}, "no output file given"},
      {{"a.mp4", "b.mp4"}, "unexpected argument 'b.mp4'"},
      {{"a.mp4", "--no-audio", "--stream", "rtmp://x/y"}, "--stream needs audio"},
      {{"a.mp4", "--no-audio", "--mic", "X"}, "exclude each other"},
  };
  for (const auto& [args, expected] : cases) {
    std::string error;
    EXPECT_FALSE(Parse(args, &error));
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

class CapmillCli : public RecordingSuite<640, 480> {
 protected:
  void SetUp() override {}  // the argument tests need no helpers
  TempDir dir_;
};

TEST_F(CapmillCli, BadArgumentsExitWithTwoAndOneLine) {
  for (const std::string& args : {std::string("record /tmp/x.mp4 --size big"), std::string("record /tmp/x.mp4 --what"),
                                  std::string("record /nonexistent-folder/x.mp4 --seconds 1"), std::string("frobnicate")}) {
    std::string output;
    EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " " + args, &output), 2) << args;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_EQ(output.rfind("capmill: ", 0), 0u) << output;
  }
  std::string help;
  EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record --help", &help), 0);
  EXPECT_NE(help.find("usage: capmill record"), std::string::npos);
  EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " devices --help", &help), 0);
  EXPECT_NE(help.find("usage: capmill devices"), std::string::npos);
}

TEST_F(CapmillCli, RecordsForTheGivenSeconds) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string path = dir_ / "five.mp4";
  std::string output;
  ASSERT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 5 2>/dev/null", &output), 0)
      << output;
  EXPECT_NE(output.find(path + ": "), std::string::npos) << output;
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  EXPECT_EQ(DecodeErrors(path), "");
  ASSERT_NE(file.Video(), nullptr);
  ASSERT_NE(file.Audio(), nullptr);
  EXPECT_NEAR(file.Video()->DurationSeconds(), 5.0, 0.4);
  // The sound runs with the picture, from its first frame to its last.
  EXPECT_NEAR(file.Audio()->StartSeconds() + file.Audio()->DurationSeconds(),
              file.Video()->StartSeconds() + file.Video()->DurationSeconds(), 0.4);
  EXPECT_GT(ToneShare(DecodeAudio(path), 440), 0.8);
}

TEST_F(CapmillCli, InterruptFinishesAPlayableFile) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string path = dir_ / "interrupted.mp4";
  ChildProcess recorder({CAPMILL_CLI_PATH, "record", path}, {}, dir_ / "log.txt");
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir_ / "log.txt").find("capmill: recording\n") != std::string::npos; },
                        std::chrono::seconds(15)));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ::kill(recorder.pid(), SIGINT);
  ASSERT_TRUE(WaitUntil([&] { return !recorder.Running(); }, std::chrono::seconds(10)));
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok) << ReadFile(dir_ / "log.txt");
  ASSERT_NE(file.Video(), nullptr);
  EXPECT_NEAR(file.Video()->DurationSeconds(), 2.0, 0.4);
  EXPECT_EQ(DecodeErrors(path), "");
}

}  // namespace
