// Which engine call the options lead to, and the output file's name.
#include <gtest/gtest.h>

#include <QDir>
#include <QTimeZone>
#include <filesystem>

#include "FakeEngine.h"
#include "Processes.h"
#include "core/OutputPath.h"
#include "core/RecordingPlan.h"

using namespace orvex;

namespace {

RecordingOptions Base() {
  RecordingOptions options;
  options.outputPath = "/rec/out.mp4";
  options.recordAudio = true;
  options.microphone = "Studio Mic";
  options.defaultAudioInput = "audio=Default Mic";
  options.musicPath = "/m/song.mp3";
  options.volume = 40;
  return options;
}

// Runs the plan against the fake engine and returns the call it received.
testsupport::FakeEngine::Call MadeCall(const EngineCall& call) {
  testsupport::FakeEngine engine;
  engine.endsOnItsOwn = true;
  Invoke(engine, call);
  const auto calls = engine.Recordings();
  EXPECT_EQ(calls.size(), 1u);
  return calls.empty() ? testsupport::FakeEngine::Call{} : calls[0];
}

std::string Lines(const EngineCall& call) {
  std::string all;
  for (const std::string& line : call.debugLines) all += line;
  return all;
}

TEST(RecordingPlan, FileOnlyTable) {
  struct Row {
    bool music, separate, playback;
    const char* entry;
    const char* lines;
  };
  const Row rows[] = {
      {true, true, true, "qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate",
       "Recording with background music: /m/song.mp3 (Volume: 40%)\n"
       "EXPERIMENTAL: Using separate video/audio recording with music and playback device (Volume: 40%)\n"},
      {true, true, false, "qelRecordScreenWithAudioAndMusicSeparate",
       "Recording with background music: /m/song.mp3 (Volume: 40%)\n"
       "EXPERIMENTAL: Using separate video/audio recording with music (Volume: 40%)\n"},
      {true, false, true, "qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback",
       "Recording with background music: /m/song.mp3 (Volume: 40%)\n"
       "Using recording with background music and playback device (Volume: 40%)\n"},
      {true, false, false, "qelRecordScreenWithAudioAndMusic",
       "Recording with background music: /m/song.mp3 (Volume: 40%)\n"},
      {false, true, true, "qelRecordScreenWithAudioSeparate",
       "EXPERIMENTAL: Using separate video/audio recording with timestamp sync\n"},
      {false, false, true, "qelRecordScreenWithAudio", ""},
  };
  for (const Row& row : rows) {
    RecordingOptions options = Base();
    options.musicEnabled = row.music;
    options.separate = row.separate;
    options.playback = row.playback;
    const EngineCall call = PlanRecording(options);
    SCOPED_TRACE(row.entry);
    EXPECT_STREQ(EntryPointName(call.entry), row.entry);
    EXPECT_EQ(Lines(call), std::string("Recording with microphone: audio=Studio Mic\n") + row.lines);
    const auto made = MadeCall(call);
    EXPECT_EQ(made.name, row.entry);
    if (row.music) EXPECT_EQ(made.args, (std::vector<std::string>{"/rec/out.mp4", "audio=Studio Mic", "/m/song.mp3", "40"}));
    else EXPECT_EQ(made.args, (std::vector<std::string>{"/rec/out.mp4", "audio=Studio Mic"}));
  }
  // Music counts only with a file.
  RecordingOptions noFile = Base();
  noFile.musicEnabled = true;
  noFile.musicPath.clear();
  EXPECT_EQ(PlanRecording(noFile).entry, EntryPoint::RecordScreenWithAudio);
}

TEST(RecordingPlan, AudioOffRecordsTheScreenAloneEvenWithMusic) {
  RecordingOptions options = Base();
  options.recordAudio = false;
  options.musicEnabled = true;
  options.playback = true;
  const EngineCall call = PlanRecording(options);
  EXPECT_EQ(call.entry, EntryPoint::RecordScreen);
  EXPECT_TRUE(call.debugLines.empty());
  EXPECT_EQ(MadeCall(call).args, std::vector<std::string>{"/rec/out.mp4"});
}

TEST(RecordingPlan, NoMicrophoneUsesTheEnginesDefaultText) {
  RecordingOptions options = Base();
  options.microphone.clear();
  EXPECT_EQ(MadeCall(PlanRecording(options)).args, (std::vector<std::string>{"/rec/out.mp4", "audio=Default Mic"}));
  EXPECT_EQ(AudioInputFor("Headset", "audio=x"), "audio=Headset");
}

RecordingOptions Streaming(std::vector<StreamingServer> servers) {
  RecordingOptions options = Base();
  options.streaming = true;
  options.servers = std::move(servers);
  return options;
}

TEST(RecordingPlan, StreamingTable) {
  const StreamingServer a{"A", "rtmp://a/live", "k1", 1}, b{"B", "rtmp://b/live", "k2", 1};
  struct Row {
    int servers;
    bool music, separate, playback;
    const char* entry;
    const char* last;
  };
  const Row rows[] = {
      {1, true, true, true, "qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate",
       "Using single URL streaming function with music, playback device and separate files\n"},
      {1, true, true, false, "qelRecordAndStreamDesktopOneWithMusicSeparate",
       "Using single URL streaming function with music and separate files\n"},
      {1, true, false, true, "qelRecordAndStreamDesktopOneWithMusicAndPlayback",
       "Using single URL streaming function with music and playback device\n"},
      {1, true, false, false, "qelRecordAndStreamDesktopOneWithMusic", "Using single URL streaming function with music\n"},
      {2, true, true, true, "qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate",
       "Using multiple URL streaming function with music, playback device and separate files\n"},
      {2, true, true, false, "qelRecordAndStreamDesktopWithMusicSeparate",
       "Using multiple URL streaming function with music and separate files\n"},
      {2, true, false, true, "qelRecordAndStreamDesktopWithMusicAndPlayback",
       "Using multiple URL streaming function with music and playback device\n"},
      {2, true, false, false, "qelRecordAndStreamDesktopWithMusic", "Using multiple URL streaming function with music\n"},
      {0, true, true, true, "qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate",
       "No streaming servers enabled, using test streaming function with music, playback device and separate files\n"},
      {0, true, true, false, "qelRecordAndStreamDesktopOneWithMusicSeparate",
       "No streaming servers enabled, using test streaming function with music and separate files\n"},
      {0, true, false, true, "qelRecordAndStreamDesktopOneWithMusicAndPlayback",
       "No streaming servers enabled, using test streaming function with music and playback device\n"},
      {0, true, false, false, "qelRecordAndStreamDesktopOneWithMusic",
       "No streaming servers enabled, using test streaming function with music\n"},
      {1, false, true, false, "qelRecordAndStreamDesktopOneSeparate", "Using single URL streaming function\n"},
      {1, false, false, true, "qelRecordAndStreamDesktopOne", "Using single URL streaming function\n"},
      {2, false, true, false, "qelRecordAndStreamDesktopSeparate", "Using multiple URL streaming function\n"},
      {2, false, false, false, "qelRecordAndStreamDesktop", "Using multiple URL streaming function\n"},
      {0, false, true, false, "qelRecordAndStreamDesktopOneSeparate",
       "No streaming servers enabled, using test streaming function\n"},
      {0, false, false, false, "qelRecordAndStreamDesktopOne", "No streaming servers enabled, using test streaming function\n"},
  };
  for (const Row& row : rows) {
    std::vector<StreamingServer> servers;
    if (row.servers >= 1) servers.push_back(a);
    if (row.servers >= 2) servers.push_back(b);
    RecordingOptions options = Streaming(servers);
    options.musicEnabled = row.music;
    options.separate = row.separate;
    options.playback = row.playback;
    const EngineCall call = PlanRecording(options);
    SCOPED_TRACE(row.entry);
    EXPECT_STREQ(EntryPointName(call.entry), row.entry);
    ASSERT_FALSE(call.debugLines.empty());
    EXPECT_EQ(call.debugLines.back(), row.last);
    EXPECT_EQ(call.debugLines[0], "Recording with microphone: audio=Studio Mic\n");
    EXPECT_EQ(call.debugLines[1], "SelectedServercount: " + std::to_string(row.servers) + "\n");
    EXPECT_EQ(call.usesTestUrl, row.servers == 0);
    const std::string lines = Lines(call);
    EXPECT_EQ(lines.find("EXPERIMENTAL: Using separate video/audio files with streaming\n") != std::string::npos, row.separate);
    if (row.music)
      EXPECT_NE(lines.find(row.playback ? "Using streaming with background music and playback device\n"
                                        : "Using streaming with background music\n"),
                std::string::npos);

    const auto made = MadeCall(call);
    EXPECT_EQ(made.name, row.entry);
    const std::vector<std::string> music = row.music ? std::vector<std::string>{"/m/song.mp3", "40"} : std::vector<std::string>{};
    std::vector<std::string> expected;
    if (row.servers == 2) expected = {"/rec/out.mp4", "audio=Studio Mic", "rtmp://a/live/k1", "rtmp://b/live/k2", "2"};
    else expected = {"audio=Studio Mic", "/rec/out.mp4", row.servers ? "rtmp://a/live/k1" : kTestStreamUrl};
    expected.insert(expected.end(), music.begin(), music.end());
    EXPECT_EQ(made.args, expected);
  }
}

TEST(RecordingPlan, EnabledServersInOrderWithTheirKeys) {
  const EngineCall call = PlanRecording(Streaming(
      {{"A", "rtmp://a.example/live", "k1", 1}, {"B", "rtmp://b.example/live", "kb", 0}, {"C", "rtmp://c.example/app", "", 1}}));
  EXPECT_EQ(call.entry, EntryPoint::RecordAndStreamDesktop);
  EXPECT_EQ(call.urls, (std::vector<std::string>{"rtmp://a.example/live/k1", "rtmp://c.example/app/"}));
  EXPECT_EQ(call.debugLines[2], "DEBUG: Will use multiple URL streaming function\n");
}

TEST(RecordingPlan, TwentyUrlsAtMostEachWhole) {
  std::vector<StreamingServer> servers;
  for (int i = 0; i < 25; ++i) servers.push_back({"S" + std::to_string(i), "rtmp://s" + std::to_string(i) + "/live", "key", 1});
  servers[0].key = std::string(150, 'k');  // a long key is common
  const EngineCall call = PlanRecording(Streaming(servers));
  ASSERT_EQ(call.urls.size(), 20u);
  EXPECT_EQ(call.urls[0], "rtmp://s0/live/" + std::string(150, 'k'));
  EXPECT_EQ(call.urls[19], "rtmp://s19/live/key");
  const std::string lines = Lines(call);
  EXPECT_NE(lines.find("SelectedServercount: 20\n"), std::string::npos);
  for (int i = 20; i < 25; ++i)
    EXPECT_NE(lines.find("more than 20 are enabled: S" + std::to_string(i) + "\n"), std::string::npos) << i;
  const auto made = MadeCall(call);
  EXPECT_EQ(made.args.size(), 2u + 20u + 1u);
  EXPECT_EQ(made.args[2].size(), std::string("rtmp://s0/live/").size() + 150);
  EXPECT_EQ(made.args.back(), "20");
}

TEST(RecordingPlan, StreamingWithoutAudioPassesAnEmptyInput) {
  RecordingOptions options = Streaming({{"A", "rtmp://a/live", "k", 1}});
  options.recordAudio = false;
  const auto made = MadeCall(PlanRecording(options));
  EXPECT_EQ(made.args[0], "");
}

TEST(RecordingPlan, OptionCaptionsNameWhatIsMissing) {
  EXPECT_EQ(OptionCaption(EntryPoint::RecordScreenWithAudioAndMusic), "Enable Background Music");
  EXPECT_EQ(OptionCaption(EntryPoint::RecordAndStreamDesktopOneWithMusicAndPlayback),
            "Play Bkg Music to the Default Playback Device");
  EXPECT_EQ(OptionCaption(EntryPoint::RecordAndStreamDesktopSeparate), "Create Separate Audio and Video Files of Recording");
}

QDateTime At(int year, int month, int day, int hour, int minute, int second, int ms) {
  return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms));
}

TEST(OutputPath, TheFourExamplesAndTheDateFolder) {
  testsupport::TempDir dir;
  const QDateTime now = At(2025, 3, 7, 14, 5, 9, 123);
  OutputPathOptions options{dir.path(), "UntitledRec", false, "MM-dd-yyyy", false};
  EXPECT_EQ(ComposeOutputPath(options, now), dir / "UntitledRec.mp4");
  options.newFilePerRecording = true;
  EXPECT_EQ(ComposeOutputPath(options, now), dir / "UntitledRec_7-3-2025-14-5-9-123.mp4");
  options.dateFolders = true;
  options.dateFormat = "dd-MMM-yyyy";
  EXPECT_EQ(ComposeOutputPath(options, now), dir / "07-Mar-2025/UntitledRec_7-3-2025-14-5-9-123.mp4");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "07-Mar-2025"));
  options.newFilePerRecording = false;
  options.dateFormat = "MM-dd-yyyy";
  EXPECT_EQ(ComposeOutputPath(options, now), dir / "03-07-2025/UntitledRec.mp4");
  EXPECT_EQ(DateFolderName("MMM-dd-yyyy", QDate(2025, 12, 1)), "Dec-01-2025");
  EXPECT_EQ(DateFolderName("dd-MM-yyyy", QDate(2025, 12, 1)), "01-12-2025");
  EXPECT_EQ(DateFolderName("dd-mm-yyyy", QDate(2025, 12, 1)), "12-01-2025");  // unknown: "MM-dd-yyyy"
}

TEST(OutputPath, OneFolderLevelOnlyIsCreated) {
  testsupport::TempDir dir;
  OutputPathOptions options{dir / "missing/parent", "Rec", true, "MM-dd-yyyy", false};
  EXPECT_EQ(ComposeOutputPath(options, At(2025, 1, 2, 0, 0, 0, 0)), dir / "missing/parent/01-02-2025/Rec.mp4");
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(OutputPath, NonAsciiDotsAndLongPaths) {
  const QDateTime now = At(2025, 3, 7, 14, 5, 9, 123);
  EXPECT_EQ(ComposeOutputPath({"/home/zoë/Vidéos/録画", "Démo", false, "", false}, now),
            "/home/zoë/Vidéos/録画/Démo.mp4");
  EXPECT_EQ(ComposeOutputPath({"/rec/./a/../b/", "x", false, "", false}, now), "/rec/b/x.mp4");
  const std::string longFolder = "/rec/" + std::string(300, 'f');
  const std::string path = ComposeOutputPath({longFolder, "name", false, "", false}, now);
  EXPECT_EQ(path, longFolder + "/name.mp4");
  EXPECT_GT(path.size(), 300u);
}

}  // namespace
