// The capmill command: option parsing, and real recordings through the binary.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
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
                              "--mic", "USB Mic", "--stream", "rtmp://a/live/x", "--stream", "RTMPS://b.example:443/live/y",
                              "-y", "--quiet"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->output, "out.mp4");
  EXPECT_DOUBLE_EQ(options->seconds, 2.5);
  EXPECT_EQ(options->fps, 30);
  EXPECT_EQ(options->crf, 23);
  EXPECT_EQ(options->width, 1280);
  EXPECT_EQ(options->height, 720);
  EXPECT_EQ(options->mic, "USB Mic");
  EXPECT_EQ(options->streams.size(), 2u);
  EXPECT_TRUE(options->overwrite);
  EXPECT_TRUE(options->quiet);
  EXPECT_FALSE(Parse({"a.mp4"})->overwrite);
  EXPECT_TRUE(Parse({"--help"})->help);
  EXPECT_TRUE(Parse({"--list-devices"})->listDevices);
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
      {{"a.mp4", "--stream", "notaurl"}, "--stream takes an rtmp:// or rtmps:// URL with a host, not 'notaurl'"},
      {{"a.mp4", "--stream", "keep.txt"}, "--stream takes an rtmp://"},
      {{"a.mp4", "--stream", "rtmp://"}, "--stream takes an rtmp://"},
      {{"a.mp4", "--stream", "rtmp:///live/x"}, "--stream takes an rtmp://"},
      {{"a.mp4", "--stream", "http://example.com/live"}, "--stream takes an rtmp://"},
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
                                  std::string("record /nonexistent-folder/x.mp4 --seconds 1"), std::string("frobnicate"),
                                  std::string("record /tmp/x.mp4 --stream notaurl")}) {
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

TEST_F(CapmillCli, DevicesAreListedForPeopleAndForScripts) {
  REQUIRE_RECORDING_ENVIRONMENT();
  std::string json, listed;
  ASSERT_EQ(RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " devices --json 2>/dev/null)", &json), 0);
  EXPECT_EQ(json.rfind("{\"microphones\": [", 0), 0u) << json;
  EXPECT_NE(json.find("\"Virtual Microphone\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"defaultMicrophone\": \""), std::string::npos) << json;
  EXPECT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << json;
  ASSERT_EQ(RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " record --list-devices 2>/dev/null)", &listed), 0);
  EXPECT_EQ(listed.rfind("Microphones:\n", 0), 0u) << listed;
  EXPECT_NE(listed.find("  Virtual Microphone\n"), std::string::npos) << listed;
}

TEST_F(CapmillCli, RecordsForTheGivenSeconds) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string path = dir_ / "five.mp4";
  std::string output;
  // Standard output alone (the helper adds standard error to what it reads).
  ASSERT_EQ(RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 5 2>/dev/null)", &output), 0)
      << output;
  // Standard output is the summary and nothing else.
  EXPECT_EQ(output.rfind(path + ": ", 0), 0u) << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  EXPECT_NE(output.find(" MB\n"), std::string::npos) << output;
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

namespace {

size_t PacketCount(const ProbedFile& file) {
  size_t packets = 0;
  for (const ProbedStream& stream : file.streams) packets += stream.pts.size();
  return packets;
}

// Killed as a crash would end it, 8 s into a 30 fps recording: the file at
// the path keeps every finished fragment, and the next start of capmill
// rewrites it into a finished file, once.
TEST_F(CapmillCli, AKilledRecordingKeepsWhatItHadAndIsRecovered) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string path = dir_ / "killed.mp4", state = "XDG_STATE_HOME=" + (dir_ / "state");
  ChildProcess recorder({CAPMILL_CLI_PATH, "record", path, "--fps", "30", "--seconds", "30"}, {state},
                        dir_ / "log.txt");
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(dir_ / "log.txt").find("capmill: recording\n") != std::string::npos; },
                        std::chrono::seconds(15)));
  std::this_thread::sleep_for(std::chrono::seconds(8));
  recorder.Kill();
  ASSERT_TRUE(WaitUntil([&] { return !recorder.Running(); }, std::chrono::seconds(5)));
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok) << ReadFile(dir_ / "log.txt");
  ASSERT_NE(file.Video(), nullptr);
  ASSERT_NE(file.Audio(), nullptr);
  EXPECT_GE(file.Video()->DurationSeconds(), 7.0);
  EXPECT_GE(file.Audio()->DurationSeconds(), 7.0);
  EXPECT_EQ(DecodeErrors(path), "");

  const std::string recovered = dir_ / "killed (recovered).mp4";
  std::string said;
  ASSERT_EQ(RunCommand(state + " " + CAPMILL_CLI_PATH + " devices", &said), 0);
  EXPECT_NE(said.find("capmill: recovered an unfinished recording: " + path + " -> " + recovered + " (" +
                      std::to_string(PacketCount(file)) + " packets)\n"),
            std::string::npos)
      << said;
  const ProbedFile finished = ProbeFile(recovered);
  ASSERT_TRUE(finished.ok && finished.Video() && finished.Audio());
  EXPECT_EQ(finished.Video()->pts.size(), file.Video()->pts.size());
  EXPECT_EQ(finished.Audio()->pts.size(), file.Audio()->pts.size());
  EXPECT_NEAR(finished.Video()->DurationSeconds(), file.Video()->DurationSeconds(), 0.01);
  EXPECT_EQ(DecodeErrors(recovered), "");
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(RunCommand(state + " " + CAPMILL_CLI_PATH + " devices", &said), 0);
  EXPECT_EQ(said.find("recovered"), std::string::npos) << said;
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "state/OrvexLite/journal"));
}

// Matroska and QuickTime record like MP4; AVI is refused before anything is
// written.
TEST_F(CapmillCli, ContainersRecordOrAreRefused) {
  REQUIRE_RECORDING_ENVIRONMENT();
  for (const char* name : {"four.mkv", "four.mov"}) {
    SCOPED_TRACE(name);
    const std::string path = dir_ / name;
    ASSERT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 4 2>/dev/null"), 0);
    const ProbedFile file = ProbeFile(path);
    ASSERT_TRUE(file.ok);
    EXPECT_GE(file.durationSeconds, 3.5);
    EXPECT_LE(file.durationSeconds, 4.8);
    EXPECT_EQ(file.streams.size(), 2u);
    EXPECT_EQ(DecodeErrors(path), "");
  }
  const std::string avi = dir_ / "four.avi";
  std::string output;
  EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + avi + " --seconds 2", &output), 1);
  EXPECT_NE(output.find("AVI files cannot hold a recording timed by the clock"), std::string::npos) << output;
  EXPECT_FALSE(std::filesystem::exists(avi));
}

// A recording that fails before its first frame (its one stream server is
// not there): no file is left, and an earlier file at the path survives.
// An existing file is the user's: kept unless --overwrite is given, and kept
// when a start with --overwrite fails.
TEST_F(CapmillCli, AnExistingFileIsKeptUnlessReplacedByARecording) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string earlier = dir_ / "earlier.mp4", keep = dir_ / "keep.txt";
  { std::ofstream(earlier) << "an earlier recording"; }
  { std::ofstream(keep) << "not a server"; }
  std::string output;
  EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + earlier + " --seconds 2 --mic 'no such mic' 2>&1",
                       &output),
            2);
  EXPECT_NE(output.find("exists; add --overwrite (-y) to replace it"), std::string::npos) << output;
  // Standard error alone: the reason is there.
  EXPECT_EQ(RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " record " + earlier +
                           " --seconds 2 --overwrite --mic 'no such mic' 2>&1 >/dev/null)",
                       &output),
            1);
  EXPECT_NE(output.find("no such mic"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(earlier), "an earlier recording");
  for (const std::string stream : {"notaurl", keep.c_str()}) {
    EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + (dir_ / "new.mp4") + " --seconds 2 --stream " +
                         stream + " >/dev/null 2>&1"),
              2);
  }
  EXPECT_EQ(ReadFile(keep), "not a server");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "new.mp4"));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

// A server that cannot be reached costs the stream, never the file: the
// summary names it and the exit code is 3.
TEST_F(CapmillCli, AnUnreachableServerCostsOnlyItsStream) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string url = "rtmp://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/live/none";
  const std::string path = dir_ / "alone.mp4";
  std::string output;
  EXPECT_EQ(RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 2 --quiet --stream " +
                           url + " 2>/dev/null)",
                       &output),
            3);
  EXPECT_NE(output.find("stream " + url + ": failed at 00:00 (sent 0.0 s): "), std::string::npos) << output;
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 2) << output;
  EXPECT_EQ(DecodeErrors(path), "");
}

// Beside a healthy server: the file and the healthy stream are whole. A
// server that stalls for 10 s is reported once, not once per packet.
TEST_F(CapmillCli, AHealthyServerStreamsBesideAFailedOneAndAStallIsReportedOnce) {
  REQUIRE_RECORDING_ENVIRONMENT();
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer healthy, stalling;
  ASSERT_TRUE(healthy.ok());
  ASSERT_TRUE(stalling.ok());
  const std::string none = "rtmp://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/live/none";
  const std::string path = dir_ / "both.mp4", log = dir_ / "stderr.txt";
  std::string output;
  const int exitCode = RunCommand("(" + std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 3 --stream " +
                                      none + " --stream " + healthy.Url("ok") + " 2>" + log + ")",
                                  &output);
  EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 3) << output;
  EXPECT_EQ(exitCode, 3) << output << ReadFile(log);
  EXPECT_NE(output.find("stream " + none + ": failed at"), std::string::npos) << output;
  EXPECT_NE(output.find("stream " + healthy.Url("ok") + ": sent "), std::string::npos) << output;
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_EQ(DecodeErrors(healthy.RecordedFile("ok")), "");

  // Stalled from 2 s to 12 s of a 15 s recording.
  const std::string stalledPath = dir_ / "stalled.mp4", stallLog = dir_ / "stall.txt";
  ChildProcess recorder({CAPMILL_CLI_PATH, "record", stalledPath, "--seconds", "15", "--stream", stalling.Url("s")}, {},
                        stallLog);
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(stallLog).find("capmill: recording\n") != std::string::npos; },
                        std::chrono::seconds(15)));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  stalling.Freeze();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  stalling.Thaw();
  ASSERT_TRUE(WaitUntil([&] { return !recorder.Running(); }, std::chrono::seconds(20)));
  // Lines about the stalled server, besides its set-up and its summary.
  const std::string lines = ReadFile(stallLog);
  int aboutTheStream = 0;
  for (size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = lines.substr(at, end - at);
    if (line.find(stalling.Url("s")) != std::string::npos && line.find("Successfully set up") == std::string::npos &&
        line.rfind("stream " + stalling.Url("s") + ": ", 0) != 0)
      ++aboutTheStream;
  }
  EXPECT_LT(aboutTheStream, 5) << lines;
  EXPECT_EQ(DecodeErrors(stalledPath), "");
}

}  // namespace

namespace {

// A small file system of its own (tmpfs), for running out of space; empty
// when this process may not mount one.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(int megabytes) {
    mounted_ = RunCommand("mount -t tmpfs -o size=" + std::to_string(megabytes) + "m tmpfs " + dir_.path() +
                          " 2>/dev/null") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) RunCommand("umount -l " + dir_.path());
  }
  bool mounted() const { return mounted_; }
  std::string operator/(const std::string& name) const { return dir_ / name; }
  // Writes a file of zeros until it has `megabytes` or the space runs out.
  void Fill(const std::string& name, int megabytes) {
    RunCommand("dd if=/dev/zero of=" + (dir_ / name) + " bs=1M count=" + std::to_string(megabytes) +
               " 2>/dev/null");
  }

 private:
  TempDir dir_;
  bool mounted_ = false;
};

// Starts `capmill record` with extra arguments; returns once it records.
ChildProcess StartRecording(const std::vector<std::string>& args, const std::string& log) {
  std::vector<std::string> argv = {CAPMILL_CLI_PATH, "record"};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess recorder(argv, {}, log);
  EXPECT_TRUE(WaitUntil([&] { return ReadFile(log).find("capmill: recording\n") != std::string::npos; },
                        std::chrono::seconds(15)));
  return recorder;
}

// The disk fills up 3 s in: the recording stops within 2 s with the line
// that says why, exits non-zero, and its file decodes to its end.
TEST_F(CapmillCli, AFullDiskStopsTheRecordingAndKeepsTheFile) {
  REQUIRE_RECORDING_ENVIRONMENT();
  SmallFileSystem disk(160);
  if (!disk.mounted()) GTEST_SKIP() << "this process may not mount a file system";
  const std::string path = disk / "full.mp4", log = dir_ / "full.txt";
  ChildProcess recorder = StartRecording({path, "--seconds", "30"}, log);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  disk.Fill("filler", 200);
  const auto filled = std::chrono::steady_clock::now();
  const std::optional<int> exit = recorder.WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(exit.has_value()) << "the recording ran on";
  EXPECT_LT(std::chrono::steady_clock::now() - filled, std::chrono::milliseconds(3500));
  EXPECT_EQ(*exit, 1);
  const std::string said = ReadFile(log);
  const bool full = said.find("Disk full: recording stopped after 00:0") != std::string::npos;
  const bool low = said.find("Low disk space: recording stopped after 00:0") != std::string::npos;
  EXPECT_TRUE(full || low) << said;
  EXPECT_NE(said.find("the file keeps what was written: " + path), std::string::npos);
  EXPECT_EQ(said.find("Error in writing audio frame"), std::string::npos);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Video(), nullptr);
  EXPECT_GT(file.Video()->DurationSeconds(), 2.0);
  EXPECT_EQ(DecodeErrors(path), "");
}

// Less than 100 MB free from the start: the recording stops at once, with
// a file that decodes.
TEST_F(CapmillCli, LowDiskSpaceStopsTheRecordingWhileTheFileCanBeFinished) {
  REQUIRE_RECORDING_ENVIRONMENT();
  SmallFileSystem disk(30);
  if (!disk.mounted()) GTEST_SKIP() << "this process may not mount a file system";
  disk.Fill("filler", 26);
  const std::string path = disk / "low.mp4";
  std::string output;
  const auto begun = std::chrono::steady_clock::now();
  EXPECT_EQ(RunCommand(std::string(CAPMILL_CLI_PATH) + " record " + path + " --seconds 30 2>&1", &output), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::seconds(10));
  EXPECT_NE(output.find("Low disk space: recording stopped after 00:0"), std::string::npos) << output;
  EXPECT_EQ(DecodeErrors(path), "");
}

// Any other write the system refuses for good (here: a file size limit):
// the system's own words, and the file cut back to its last whole fragment.
TEST_F(CapmillCli, ARefusedWriteStopsTheRecordingAndKeepsTheFile) {
  REQUIRE_RECORDING_ENVIRONMENT();
  if (!HaveProgram("prlimit")) GTEST_SKIP() << "prlimit is not installed";
  const std::string path = dir_ / "limited.mp4";
  std::string output;
  EXPECT_EQ(RunCommand("prlimit --fsize=600000 " + std::string(CAPMILL_CLI_PATH) + " record " + path +
                       " --fps 30 --seconds 60 2>&1", &output),
            1);
  EXPECT_NE(output.find("File too large: recording stopped after 00:"), std::string::npos) << output;
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Video(), nullptr);
  EXPECT_GT(file.Video()->DurationSeconds(), 1.0);
  EXPECT_LE(std::filesystem::file_size(path), 600000u);
  EXPECT_EQ(DecodeErrors(path), "");
}

}  // namespace

namespace {

// Sources that go away during a recording; the last case removes the
// suite's microphone.
class LostSources : public RecordingSuite<640, 480> {
 protected:
  TempDir dir_;
};

// The display server ends 3 s in: the whole recording ends at once, both
// tracks together, and the line says why.
TEST_F(LostSources, AnEndedDisplayEndsTheWholeRecording) {
  VirtualDesktop display(640, 480, false);  // the recorder's own, and this test's to end
  ASSERT_TRUE(display.ok());
  const std::string path = dir_ / "display.mp4", log = dir_ / "display.txt";
  ChildProcess recorder = StartRecording({path, "--seconds", "30"}, log);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  display.KillServer();
  const auto ended = std::chrono::steady_clock::now();
  const std::optional<int> exit = recorder.WaitForExit(std::chrono::seconds(10));
  ASSERT_TRUE(exit.has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - ended, std::chrono::seconds(3));
  EXPECT_EQ(*exit, 1);
  EXPECT_NE(ReadFile(log).find("Screen capture lost: recording stopped after 00:0"), std::string::npos)
      << ReadFile(log);
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok && file.Video() && file.Audio());
  const double videoEnd = file.Video()->StartSeconds() + file.Video()->DurationSeconds();
  const double audioEnd = file.Audio()->StartSeconds() + file.Audio()->DurationSeconds();
  EXPECT_NEAR(videoEnd, audioEnd, 0.5);
  EXPECT_GT(file.Video()->DurationSeconds(), 2.0);
  EXPECT_EQ(DecodeErrors(path), "");
}

// The microphone's source is removed 3 s in: one warning naming it, and the
// recording runs to its stop.
TEST_F(LostSources, ARemovedMicrophoneIsReportedOnceAndTheRecordingGoesOn) {
  REQUIRE_RECORDING_ENVIRONMENT();
  const std::string path = dir_ / "mic.mp4", log = dir_ / "mic.txt";
  ChildProcess recorder = StartRecording({path, "--seconds", "8"}, log);
  std::this_thread::sleep_for(std::chrono::seconds(3));
  RecordingEnvironment::Get().mic->Pactl("unload-module module-remap-source");
  const std::optional<int> exit = recorder.WaitForExit(std::chrono::seconds(15));
  ASSERT_TRUE(exit.has_value());
  EXPECT_EQ(*exit, 0);
  const std::string said = ReadFile(log);
  const std::string warning = "Warning: the microphone \"Virtual Microphone\"";
  const size_t first = said.find(warning);
  ASSERT_NE(first, std::string::npos) << said;
  EXPECT_EQ(said.find(warning, first + 1), std::string::npos) << said;
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok && file.Video() && file.Audio());
  EXPECT_NEAR(file.Video()->DurationSeconds(), 8.0, 0.5);
  EXPECT_EQ(DecodeErrors(path), "");
}

}  // namespace

namespace {

// Each finished fragment is taken to the disk as the recording goes, not
// only when the file closes: a power loss costs at most the fragment in flight.
TEST_F(CapmillCli, FragmentsReachTheDiskAsTheRecordingGoes) {
  REQUIRE_RECORDING_ENVIRONMENT();
  if (!HaveProgram("strace")) GTEST_SKIP() << "strace is not installed";
  const std::string path = dir_ / "synced.mp4", trace = dir_ / "trace.txt";
  ASSERT_EQ(RunCommand("strace -f -e trace=fdatasync -o " + trace + " " + CAPMILL_CLI_PATH + " record " + path +
                       " --seconds 4 >/dev/null"),
            0);
  const std::string calls = ReadFile(trace);
  size_t synced = 0;
  for (size_t at = calls.find("fdatasync("); at != std::string::npos; at = calls.find("fdatasync(", at + 1)) {
    const size_t result = calls.find_first_not_of(' ', calls.find(')', at) + 1);
    synced += result != std::string::npos && calls.compare(result, 3, "= 0") == 0;
  }
  EXPECT_GE(synced, 6u) << calls;  // two fragments a second, and the end
  EXPECT_EQ(DecodeErrors(path), "");
}

}  // namespace
