// Combining a video file and an audio file into one MP4 through
// libcapmill.so: what the output holds, and what a failure leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "LibraryLogs.h"
#include "MediaProbe.h"
#include "Processes.h"
#include "capmill/capmill.h"

using namespace testsupport;

namespace {

class CombineFilesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { DebugLogPath(); }
  void SetUp() override {
    // Three seconds of pictures with B-frames, two seconds of sound.
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=10 -t 3 -c:v libx264 "
                         "-pix_fmt yuv420p -bf 2 " + video_),
              0);
    ASSERT_EQ(RunCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=44100 -t 2 -c:a aac " +
                         audio_),
              0);
  }
  std::string Contents(const std::string& path) { return ReadAll(path); }
  // Files the combining may have left in the folder besides the named ones.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      if (entry.path().filename().string().rfind(".combining", 0) == 0) names.push_back(entry.path());
    return names;
  }

  TempDir dir_;
  std::string video_ = dir_ / "in_video.mp4", audio_ = dir_ / "in_audio.m4a";
};

// The output is an MP4 whatever its extension, with the video first, every
// packet of both, including the video beyond the sound's end.
TEST_F(CombineFilesTest, EveryPacketOfBothInAnMp4) {
  const std::string output = dir_ / "out.mkv";
  Logs logs;
  ASSERT_EQ(qelCombineSeparateFiles(video_.c_str(), audio_.c_str(), output.c_str()), 1);
  logs.Finish();
  EXPECT_NE(logs.Debug().find("Files combined successfully using FFmpeg API\n"), std::string::npos);
  const ProbedFile combined = ProbeFile(output), video = ProbeFile(video_), audio = ProbeFile(audio_);
  ASSERT_TRUE(combined.ok && video.ok && audio.ok);
  EXPECT_NE(combined.format.find("mp4"), std::string::npos) << combined.format;
  ASSERT_EQ(combined.streams.size(), 2u);
  EXPECT_EQ(combined.streams[0].codec, "h264");
  EXPECT_EQ(combined.streams[1].codec, "aac");
  EXPECT_EQ(combined.streams[0].pts, video.streams[0].pts);
  EXPECT_EQ(combined.streams[0].dts, video.streams[0].dts);
  EXPECT_EQ(combined.streams[1].pts.size(), audio.streams[0].pts.size());
  EXPECT_NEAR(combined.streams[0].DurationSeconds(), 2.9, 0.01);
  int frames = 0;
  EXPECT_EQ(DecodeErrors(output, &frames), "");
  EXPECT_EQ(frames, 30);
  EXPECT_TRUE(Leftovers().empty());
}

// Written over the video file itself: it is replaced by the complete
// combined file, never by a part of it.
TEST_F(CombineFilesTest, TheOutputMayBeTheVideoFile) {
  ASSERT_EQ(qelCombineSeparateFiles(video_.c_str(), audio_.c_str(), video_.c_str()), 1);
  const ProbedFile combined = ProbeFile(video_);
  ASSERT_TRUE(combined.ok);
  EXPECT_EQ(combined.streams.size(), 2u);
  EXPECT_EQ(DecodeErrors(video_), "");
}

// Inputs that cannot be combined: 0, the reason on the debug channel, and
// whatever was at the output path untouched.
TEST_F(CombineFilesTest, AFailureLeavesTheOutputAsItWas) {
  const std::string output = dir_ / "kept.mp4";
  std::ofstream(output) << "an earlier recording";
  Logs logs;
  EXPECT_EQ(qelCombineSeparateFiles(video_.c_str(), video_.c_str(), output.c_str()), 0);
  EXPECT_EQ(qelCombineSeparateFiles((dir_ / "none.mp4").c_str(), audio_.c_str(), output.c_str()), 0);
  EXPECT_EQ(qelCombineSeparateFiles(nullptr, audio_.c_str(), output.c_str()), 0);
  const std::string before = Contents(video_);
  EXPECT_EQ(qelCombineSeparateFiles(video_.c_str(), video_.c_str(), video_.c_str()), 0);
  logs.Finish();
  EXPECT_NE(logs.Debug().find("ERROR: No audio stream found in audio file\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("ERROR: Could not open video input file\n"), std::string::npos);
  EXPECT_NE(logs.Debug().find("ERROR: qelCombineSeparateFiles - invalid parameters\n"), std::string::npos);
  EXPECT_EQ(Contents(output), "an earlier recording");
  EXPECT_EQ(Contents(video_), before);
  EXPECT_TRUE(Leftovers().empty());
}

// A disk that refuses more bytes part-way (a file size limit, its signal
// ignored, in a child process): 0 and no output, not a cut-off file.
TEST_F(CombineFilesTest, AFailedWriteLeavesNoOutput) {
  const std::string output = dir_ / "full.mp4";
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{20000, 20000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(qelCombineSeparateFiles(video_.c_str(), audio_.c_str(), output.c_str()) == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the combining reported success";
  EXPECT_FALSE(std::filesystem::exists(output));
  EXPECT_TRUE(Leftovers().empty());
  // The limit did cut the output short.
  ASSERT_GT(std::filesystem::file_size(video_) + std::filesystem::file_size(audio_), 20000u);
}

}  // namespace
