// The two files of a separate-file recording, beside the requested one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "Processes.h"
#include "src/SeparatePaths.h"

using namespace testsupport;
using capmill::GenerateSeparatePaths;

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TEST(SeparatePathsTest, TheFilesGoIntoAFolderBesideTheRequestedOne) {
  TempDir dir;
  const auto paths = GenerateSeparatePaths(dir / "talk.final.mp4");
  EXPECT_EQ(paths.video, dir / "AudioAndVideo/talk.final_video.mp4");
  EXPECT_EQ(paths.audio, dir / "AudioAndVideo/talk.final_audio.m4a");
  EXPECT_TRUE(IsFolder(dir / "AudioAndVideo"));

  // A dot in a folder's name is not the file's.
  ASSERT_EQ(::mkdir((dir / "out.v2").c_str(), 0755), 0);
  const auto dotted = GenerateSeparatePaths(dir / "out.v2/rec");
  EXPECT_EQ(dotted.video, dir / "out.v2/AudioAndVideo/rec_video.mp4");
  EXPECT_EQ(dotted.audio, dir / "out.v2/AudioAndVideo/rec_audio.m4a");
  EXPECT_TRUE(IsFolder(dir / "out.v2/AudioAndVideo"));

  // A backslash is part of a name here.
  const auto backslashed = GenerateSeparatePaths(dir / "a\\b.mp4");
  EXPECT_EQ(backslashed.video, dir / "AudioAndVideo/a\\b_video.mp4");
}

TEST(SeparatePathsTest, ABareNameUsesTheWorkingFolder) {
  TempDir dir;
  const std::string before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const auto paths = GenerateSeparatePaths("talk");
  EXPECT_EQ(paths.video, "AudioAndVideo/talk_video.mp4");
  EXPECT_EQ(paths.audio, "AudioAndVideo/talk_audio.m4a");
  EXPECT_TRUE(IsFolder(dir / "AudioAndVideo"));
  std::filesystem::current_path(before);
}

TEST(SeparatePathsTest, AFileInTheFoldersPlaceIsLeftAlone) {
  TempDir dir;
  std::ofstream(dir / "AudioAndVideo") << "not a folder";
  const auto paths = GenerateSeparatePaths(dir / "rec.mp4");
  EXPECT_EQ(paths.video, dir / "AudioAndVideo/rec_video.mp4");
  std::ifstream kept(dir / "AudioAndVideo");
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "not a folder");
}
