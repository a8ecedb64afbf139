// The main window's rules without any widget.
#include <gtest/gtest.h>

#include "core/MainWindowRules.h"
#include "platform/SystemTimes.h"
#include "platform/UserPrompts.h"

using namespace orvex;

namespace {

TEST(MainWindowRules, DateExamplesOfTheFourFormatsAndOfUnknownText) {
  EXPECT_EQ(DateExample("MM-dd-yyyy"), "Example: 05-12-2025");
  EXPECT_EQ(DateExample("MMM-dd-yyyy"), "Example: May-12-2025");
  EXPECT_EQ(DateExample("dd-MM-yyyy"), "Example: 12-05-2025");
  EXPECT_EQ(DateExample("dd-MMM-yyyy"), "Example: 12-May-2025");
  EXPECT_EQ(DateExample("yyyy-MM-dd"), "Example: 05-12-2025");
  EXPECT_EQ(DateExample("mm-dd-yyyy"), "Example: 05-12-2025");  // compared exactly
}

TEST(MainWindowRules, StoredDeviceSelectsTheEqualEntryBeforeAPrefix) {
  const std::vector<std::string> cameras = {"USB Camera HD", "Webcam", "USB Camera"};
  EXPECT_EQ(FindDeviceEntry(cameras, "USB Camera"), 2);  // not the HD one listed first
  EXPECT_EQ(FindDeviceEntry(cameras, "usb camera"), 2);
  EXPECT_EQ(FindDeviceEntry(cameras, "usb"), 0);  // no equal entry: the first that begins with it
  EXPECT_EQ(FindDeviceEntry(cameras, "WEBCAM"), 1);
  EXPECT_EQ(FindDeviceEntry(cameras, "Studio Mic"), -1);
  EXPECT_EQ(FindDeviceEntry({}, "x"), -1);
}

TEST(MainWindowRules, MusicControlsFollowMusicAdvancedAndRecording) {
  // music, advanced -> file, volume, playback enabled
  struct Row {
    bool music, advanced, recording;
    bool file, volume, playback;
  };
  const Row rows[] = {
      {true, true, false, true, true, true},     {true, false, false, false, false, true},
      {false, true, false, false, false, false}, {false, false, false, false, false, false},
      {true, false, true, false, true, true},    {false, true, true, false, false, false},
  };
  for (const Row& row : rows) {
    const auto state = MusicControls(row.music, row.advanced, row.recording, "/m/song.mp3", 40, false);
    SCOPED_TRACE(testing::Message() << row.music << row.advanced << row.recording);
    EXPECT_EQ(state.fileEnabled, row.file);
    EXPECT_EQ(state.volumeEnabled, row.volume);
    EXPECT_EQ(state.playbackEnabled, row.playback);
    EXPECT_EQ(state.clearPlayback, !row.music);
    EXPECT_EQ(state.volumeText, "40%");
    EXPECT_EQ(state.fileText, row.file ? std::optional<std::string>("/m/song.mp3") : std::optional<std::string>(""));
  }
  // Keeping the text leaves the edit alone unless the file is shown.
  EXPECT_FALSE(MusicControls(true, false, false, "/m/song.mp3", 30, true).fileText);
  EXPECT_FALSE(MusicControls(true, true, false, "", 30, true).fileText);
}

TEST(MainWindowRules, AboutVersionLine) {
  EXPECT_EQ(AboutVersionLine("1.0.18.0"), "Ver 1.0.18");
  EXPECT_EQ(AboutVersionLine("1.2.3.4"), "Ver 1.2.3.4");
  EXPECT_EQ(AboutVersionLine("x"), "Ver x");
  EXPECT_EQ(AboutVersionLine("1.2.3"), "Ver 1.2.3");  // not four numbers: shown raw
  // The program's own version always has four numbers.
  const std::string version = ProgramFileVersion();
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3);
}

TEST(MainWindowRules, ActivationPausesOnlyAnUnpausedRecordingWhenNotClicked) {
  EXPECT_TRUE(PauseOnActivation(true, false, false, true, false));
  EXPECT_FALSE(PauseOnActivation(false, false, false, true, false));  // option off
  EXPECT_FALSE(PauseOnActivation(true, true, false, true, false));    // a click activated it
  EXPECT_FALSE(PauseOnActivation(true, false, true, true, false));    // minimised
  EXPECT_FALSE(PauseOnActivation(true, false, false, false, false));  // nothing records
  EXPECT_FALSE(PauseOnActivation(true, false, false, true, true));    // already paused
}

SystemTimes Sample(uint64_t idle, uint64_t kernel, uint64_t user, uint64_t processKernel, uint64_t processUser,
                   int memory) {
  return {true, idle, kernel, user, processKernel, processUser, memory};
}

TEST(MainWindowRules, SystemStatsFromSuccessiveSamples) {
  SystemStatsMeter meter;
  EXPECT_EQ(meter.Update(Sample(100, 300, 100, 10, 10, 42)), "CPU: App --% , Total --% | RAM: 42%");
  // Δtotal = (500+200) - (300+100) = 300, Δidle = 150: Total 50 %; Δprocess = 30: App 10 %.
  EXPECT_EQ(meter.Update(Sample(250, 500, 200, 25, 25, 43)), "CPU: App 10% , Total 50% | RAM: 43%");
  // An unchanged total gives 0, not a division by zero.
  EXPECT_EQ(meter.Update(Sample(250, 500, 200, 25, 25, 44)), "CPU: App 0% , Total 0% | RAM: 44%");
  // A failed time query shows dashes and keeps the last good sample.
  EXPECT_EQ(meter.Update(SystemTimes{false, 0, 0, 0, 0, 0, 45}), "CPU: App --% , Total --% | RAM: 45%");
  EXPECT_EQ(meter.Update(Sample(350, 600, 300, 45, 25, 46)), "CPU: App 10% , Total 50% | RAM: 46%");
}

TEST(MainWindowRules, RealProcFiguresAreShares) {
  ProcSystemTimes proc;
  const SystemTimes first = proc.Read();
  ASSERT_TRUE(first.timesOk);
  EXPECT_GE(first.kernel, first.idle);
  EXPECT_GT(first.memoryLoadPercent, 0);
  EXPECT_LE(first.memoryLoadPercent, 100);
  volatile double spin = 0;
  for (int i = 0; i < 20000000; ++i) spin = spin + i * 0.5;  // use some processor time
  SystemStatsMeter meter;
  meter.Update(first);
  int app = -1, total = -1, ram = -1;
  ASSERT_EQ(std::sscanf(meter.Update(proc.Read()).c_str(), "CPU: App %d%% , Total %d%% | RAM: %d%%", &app, &total, &ram), 3);
  for (int figure : {app, total, ram}) {
    EXPECT_GE(figure, 0);
    EXPECT_LE(figure, 100);
  }
  EXPECT_GT(total, 0);
}

TEST(MainWindowRules, PairedFileFilterBecomesQtFilters) {
  EXPECT_EQ(QtFileFilter("Audio Files (*.mp3;*.wav)|*.mp3;*.wav|MP3 Files (*.mp3)|*.mp3|All Files (*.*)|*.*||"),
            "Audio Files (*.mp3 *.wav);;MP3 Files (*.mp3);;All Files (*)");
}

}  // namespace
