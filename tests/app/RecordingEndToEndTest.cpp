// OrvexLite's main window on a real X display, recording with the real
// engine (libcapmill.so) from a virtual microphone and streaming to a real
// RTMP server. Results are judged by probing and decoding the files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>
#include <QDate>
#include <QElapsedTimer>
#include <QTime>
#include <cstdio>
#include <filesystem>

#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "MediaProbe.h"
#include "MusicFiles.h"
#include "DisplayTestMain.h"
#include "RealWindowFixture.h"
#include "RecordingEnvironment.h"
#include "SpeakerRecorder.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "core/StreamingServers.h"
#include "features/RecentFilesSelectDialog.h"
#include "features/ScheduledRecording.h"
#include "platform/DebugChannel.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int64_t kFrameInterval90k = 9000;  // 10 fps in the file's 1/90000 time base
const std::string kDebugLog = "/tmp/orvex-end-to-end-test-" + std::to_string(::getpid()) + ".log";

class RecordingEndToEndTest : public RealWindowTest {
 protected:
  void SetUp() override {
    RealWindowTest::SetUp();
    Store("RecordAudio", "TRUE");
    Store("SelectedMicrophone", RecordingEnvironment::Get().mic->Description());
    Store("LoggingEnabled", "TRUE");
  }
  std::unique_ptr<CMainDlg> Make(int schedulePeriodMs = 30000) {
    MainWindowServices services = Services();
    services.schedulePeriodMs = schedulePeriodMs;
    return Show(services);
  }
  void StoreCloudAutoSave() {
    std::filesystem::create_directories(dir_ / "OneDrive");
    Store("AutoSaveToCloud", "TRUE");
    Store("CloudDriveType", "OneDrive");
    Store("CloudFolderPath", "Orvex/Recordings");
    Store("RecordInDateFolders", "TRUE");
    Store("DateFormat", "MM-dd-yyyy");
  }
  static void ClickStartStop(CMainDlg& window) {
    QTest::mouseClick(window.ControlAs<QPushButton>(IDC_START_STOP), Qt::LeftButton);
  }
  // Waits until the engine's clock runs: the engine's own start-up time is
  // not the controller's to judge.
  bool WaitForClock() {
    return QTest::qWaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }, 10000);
  }
  // Waits for the engine call to return; the path it finished.
  static std::string WaitFinished(QSignalSpy& finished, int count = 1) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return finished.count() >= count; }, 15000));
    return finished.count() >= count ? finished[count - 1][0].toString().toStdString() : "";
  }
  std::string RecordWithMusic(const std::string& music, bool played);
  static bool Logged(CMainDlg& window, EventType type, const std::string& details) {
    for (const EventRecord& event : window.eventLog().ReadAllEvents())
      if (event.type == type && event.details == details) return true;
    return false;
  }

};

TEST_F(RecordingEndToEndTest, StartPauseResumeStopGivesACleanFile) {
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  ClickStartStop(*window);
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(2000);
  window->controller().TogglePause();
  QTest::qWait(2000);
  window->controller().TogglePause();
  QTest::qWait(2000);
  ClickStartStop(*window);
  const std::string path = WaitFinished(finished);
  ASSERT_EQ(path, dir_ / "rec/Take.mp4");

  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Video(), nullptr);
  ASSERT_NE(file.Audio(), nullptr);
  EXPECT_EQ(file.Video()->codec, "h264");
  EXPECT_EQ(file.Video()->width, kWidth);
  EXPECT_EQ(file.Video()->height, kHeight);
  EXPECT_EQ(file.Audio()->codec, "aac");
  EXPECT_NEAR(file.Video()->DurationSeconds(), 4.0, 0.7);  // 6 s less the 2 s pause
  const std::vector<int64_t> pts = file.Video()->SortedPts();
  ASSERT_GT(pts.size(), 20u);
  int64_t largestStep = 0;
  for (size_t i = 1; i < pts.size(); ++i) largestStep = std::max(largestStep, pts[i] - pts[i - 1]);
  EXPECT_LT(largestStep, 3 * kFrameInterval90k);
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(ToneShare(DecodeAudio(path), 440), 0.8);

  EXPECT_TRUE(Logged(*window, RecordingStarted, path));
  EXPECT_TRUE(Logged(*window, RecordingStopped, path));
  EXPECT_FALSE(window->IsRecording());
  EXPECT_EQ(window->PaneText(0), "Ready");
  EXPECT_EQ(engine_.GetGlobalTimer(), nullptr);
}

namespace {

// The loudest window of each tone.
std::vector<double> LoudestTones(const std::vector<float>& sound, const std::vector<double>& tones) {
  std::vector<double> loudest(tones.size(), 0);
  for (const auto& window : ToneAmplitudes(sound, 44100, tones))
    for (size_t i = 0; i < tones.size(); ++i) loudest[i] = std::max(loudest[i], window[i]);
  return loudest;
}

}  // namespace

// The user ticks the music, picks the file and, when `played`, ticks the
// playback too; records four seconds. Returns the recording's path.
std::string RecordingEndToEndTest::RecordWithMusic(const std::string& music, bool played) {
  Store("ShowAdvancedOptions", "TRUE");
  Store("MusicVolume", "50");
  auto window = Make();
  auto* tick = window->ControlAs<QCheckBox>(IDC_MUSIC);
  EXPECT_TRUE(tick->isVisible());
  QTest::mouseClick(tick, Qt::LeftButton, {}, QPoint(8, tick->height() / 2));
  EXPECT_TRUE(tick->isChecked());
  prompts_.pickAnswers.push_back(music);
  QTest::mouseClick(window->ControlAs<QPushButton>(IDC_MUSIC_BUTTON), Qt::LeftButton);
  EXPECT_EQ(window->ControlAs<QLineEdit>(IDC_MUSIC_FILE)->text().toStdString(), music);
  if (played) {
    auto* playback = window->ControlAs<QCheckBox>(IDC_PLAYBACK);
    EXPECT_TRUE(playback->isEnabled());
    QTest::mouseClick(playback, Qt::LeftButton, {}, QPoint(8, playback->height() / 2));
    EXPECT_TRUE(playback->isChecked());
  }
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  ClickStartStop(*window);
  if (!WaitForClock()) return "";
  QTest::qWait(4000);
  ClickStartStop(*window);
  return WaitFinished(finished);
}

TEST_F(RecordingEndToEndTest, MusicTickedIsMixedIntoTheRecording) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  const std::string path = RecordWithMusic(music, false);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(DecodeErrors(path), "");
  const std::vector<float> sound = DecodeAudio(path);
  const double first = FirstSoundSeconds(sound);
  ASSERT_GE(first, 0);
  const std::vector<float> heard(sound.begin() + static_cast<size_t>((first + 0.1) * 44100), sound.end() - 4410);
  // Both music tones, one after the other, beside the microphone's.
  const std::vector<double> loudest = LoudestTones(heard, {440, 1000, 1500});
  EXPECT_GT(loudest[0], 0.1);
  EXPECT_NEAR(loudest[1], 0.4 * 0.5, 0.05);
  EXPECT_NEAR(loudest[2], 0.4 * 0.5, 0.05);
}

// With the playback ticked as well, the music is heard on the default output
// while it is recorded: the file carries both tones, the speaker the music
// alone.
TEST_F(RecordingEndToEndTest, MusicPlayedBackIsHeardAndRecorded) {
  const std::string music = dir_ / "tones.mp3";
  ASSERT_TRUE(MakeTwoToneFile(music, "mp3", 44100));
  std::string path;
  const std::vector<float> speaker =
      RecordSpeakerWhile([&] { path = RecordWithMusic(music, true); }).value_or(std::vector<float>());
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(DecodeErrors(path), "");
  const std::vector<double> recorded = LoudestTones(DecodeAudio(path), {440, 1000, 1500});
  EXPECT_GT(recorded[0], 0.1);
  EXPECT_NEAR(recorded[1], 0.4 * 0.5, 0.05);
  EXPECT_NEAR(recorded[2], 0.4 * 0.5, 0.05);
  const std::vector<double> heard = LoudestTones(speaker, {440, 1000, 1500});
  EXPECT_LT(heard[0], 0.01);
  EXPECT_NEAR(heard[1], 0.4 * 0.5, 0.05);
  EXPECT_NEAR(heard[2], 0.4 * 0.5, 0.05);
}

// With separate files chosen, the recording also leaves its video and its
// sound in "AudioAndVideo" beside it, and the recording itself is whole.
// Auto-save to "OneDrive" in the home folder, into date folders: the copy is
// the finished recording, byte for byte, and the window says so.
void ExpectCloudCopy(CMainDlg& window, const std::string& path, const std::filesystem::path& home) {
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.PaneText(0) == "Auto-saved to cloud"; }, 10000))
      << window.PaneText(0).toStdString() << " / " << window.PaneText(1).toStdString();
  const std::string date = QDate::currentDate().toString("MM-dd-yyyy").toStdString();
  const std::filesystem::path copy =
      home / "OneDrive/Orvex/Recordings" / date / std::filesystem::path(path).filename();
  EXPECT_EQ(std::filesystem::path(path).parent_path().filename(), date);
  ASSERT_TRUE(std::filesystem::exists(copy));
  EXPECT_TRUE(ReadFile(copy) == ReadFile(path)) << "the copy differs from the recording";
  EXPECT_EQ(DecodeErrors(copy), "");
}

TEST_F(RecordingEndToEndTest, AFinishedRecordingIsCopiedToTheCloudDrive) {
  StoreCloudAutoSave();
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  ClickStartStop(*window);
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(2000);
  ClickStartStop(*window);
  const std::string path = WaitFinished(finished);
  ExpectCloudCopy(*window, path, dir_.path());
}

// Two recordings to files of their own, then "Play Recorded Videos": both,
// newest first, in the dialog.
TEST_F(RecordingEndToEndTest, RecordedVideosAreOfferedNewestFirst) {
  Store("CreateNewFileForEachRecord", "TRUE");
  auto window = Make();
  std::vector<std::string> opened;
  window->openFile = [&](const std::string& path) { opened.push_back(path); };
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  for (int i = 0; i < 2; ++i) {
    ClickStartStop(*window);
    ASSERT_TRUE(WaitForClock());
    QTest::qWait(1000);
    ClickStartStop(*window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == i + 1; }, 15000));
  }
  const std::string older = finished[0][0].toString().toStdString(), newer = finished[1][0].toString().toStdString();
  ASSERT_NE(older, newer);
  std::vector<std::string> listed;
  int selected = -1;
  bool openAfterEnter = false;
  QTimer::singleShot(300, [&] {
    auto* dialog = qobject_cast<CRecentFilesSelectDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    for (int i = 0; i < dialog->list()->count(); ++i) listed.push_back(dialog->list()->item(i)->text().toStdString());
    selected = dialog->list()->currentRow();
    QTest::keyClick(dialog->list(), Qt::Key_Return);
    openAfterEnter = dialog->isVisible();
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  window->Command(ID_PLAY_RECORDED)->trigger();
  EXPECT_EQ(listed, (std::vector<std::string>{newer, older}));
  EXPECT_EQ(selected, 0);
  EXPECT_EQ(opened, std::vector<std::string>{newer});
  EXPECT_TRUE(openAfterEnter);
  EXPECT_EQ(DecodeErrors(newer), "");
}

TEST_F(RecordingEndToEndTest, SeparateFilesAreCombinedIntoTheRecording) {
  Store("UseSeparateAudioVideoRecording", "TRUE");
  // The combined file is written after the stop: the cloud copy waits for it.
  StoreCloudAutoSave();
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  ClickStartStop(*window);
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(4000);
  ClickStartStop(*window);
  const std::string path = WaitFinished(finished);
  ASSERT_FALSE(path.empty());
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_EQ(file.streams.size(), 2u);
  EXPECT_EQ(file.streams[0].codec, "h264");
  EXPECT_EQ(file.streams[1].codec, "aac");
  EXPECT_GT(file.Video()->DurationSeconds(), 3.0);
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(ToneShare(DecodeAudio(path), 440), 0.8);
  const std::filesystem::path folder = std::filesystem::path(path).parent_path() / "AudioAndVideo";
  const std::string stem = std::filesystem::path(path).stem();
  EXPECT_TRUE(ProbeFile(folder / (stem + "_video.mp4")).ok);
  EXPECT_TRUE(ProbeFile(folder / (stem + "_audio.m4a")).ok);
  ExpectCloudCopy(*window, path, dir_.path());
}

TEST_F(RecordingEndToEndTest, StreamsToTwoServers) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer server;
  ASSERT_TRUE(server.ok());
  Store("EnableVideoStreaming", "TRUE");
  const std::string base = "rtmp://127.0.0.1:" + std::to_string(server.port()) + "/live";
  WriteStreamingServers(store_, {{"One", base, "first", 1}, {"Off", base, "off", 0}, {"Two", base, "second", 1}});
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  ClickStartStop(*window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->PaneText(3) == "Streaming: 2 Server(s)"; }, 5000));
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(3000);
  ClickStartStop(*window);
  const std::string path = WaitFinished(finished);
  EXPECT_EQ(window->PaneText(3), "Streaming: Stopped");
  EXPECT_EQ(DecodeErrors(path), "");
  for (const char* key : {"first", "second"}) {
    const std::string flv = server.RecordedFile(key);
    const ProbedFile stream = ProbeFile(flv);
    ASSERT_TRUE(stream.ok) << key;
    ASSERT_NE(stream.Video(), nullptr);
    EXPECT_GT(stream.Video()->extradataSize, 8);
    EXPECT_GT(stream.Video()->DurationSeconds(), 1.5);
    EXPECT_EQ(DecodeErrors(flv), "") << key;
  }
  EXPECT_FALSE(std::filesystem::exists(server.RecordedFile("off")));
  EXPECT_TRUE(Logged(*window, StreamingStarted, ""));
  EXPECT_TRUE(Logged(*window, StreamingStopped, ""));
}

TEST_F(RecordingEndToEndTest, StopAtOnceThenStartAgainGivesTwoFiles) {
  Store("CreateNewFileForEachRecord", "TRUE");
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  // Stop before the worker reaches the engine: it still ends.
  window->controller().BeginRecording();
  window->controller().StopRecording();
  ASSERT_TRUE(window->controller().WaitForWorkers(10000));
  EXPECT_EQ(engine_.GetGlobalTimer(), nullptr);
  const std::string first = WaitFinished(finished, 1);

  // Start right after a stop: the second waits for the first file, then runs in full.
  ClickStartStop(*window);
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(1500);
  ClickStartStop(*window);
  ClickStartStop(*window);
  EXPECT_TRUE(window->IsRecording());
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 10000));
  ASSERT_TRUE(WaitForClock());
  QTest::qWait(3000);
  ClickStartStop(*window);
  const std::string third = WaitFinished(finished, 3);
  const std::string second = finished[1][0].toString().toStdString();
  EXPECT_NE(second, third);
  for (const std::string& path : {second, third}) {
    const ProbedFile file = ProbeFile(path);
    ASSERT_TRUE(file.ok) << path;
    EXPECT_EQ(DecodeErrors(path), "") << path;
  }
  EXPECT_GT(ProbeFile(third).Video()->DurationSeconds(), 2.3);  // the whole 3 s, not cut by an old stop
  (void)first;
}

TEST_F(RecordingEndToEndTest, UnwritableFolderComesBackToReady) {
  Store("FolderPath", dir_ / "no/such/folder");
  auto window = Make();
  ClickStartStop(*window);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->PaneText(1) == "Recording ended unexpectedly"; }, 15000));
  EXPECT_EQ(window->PaneText(0), "Ready");
  EXPECT_FALSE(window->IsRecording());
  EXPECT_TRUE(Logged(*window, Error, dir_ / "no/such/folder/Take.mp4"));
  ASSERT_FALSE(notifier_.balloons.empty());
}

// The schedule on a wall clock that runs ten times fast (a minute in 6 s):
// the real monitor, main window and engine record the window from the next
// minute to the one after, with streaming on and "Do not stream with
// scheduled recording" ticked.
TEST_F(RecordingEndToEndTest, AScheduledMinuteRecordsWithoutStreaming) {
  if (const std::string why = MissingRtmpTools(); !why.empty()) GTEST_SKIP() << why;
  RtmpServer server;
  ASSERT_TRUE(server.ok());
  Store("EnableVideoStreaming", "TRUE");
  WriteStreamingServers(store_, {{"Main", "rtmp://127.0.0.1:" + std::to_string(server.port()) + "/live", "sched", 1}});
  // 10:04:58 when the window opens: the window runs from 10:05 to 10:06.
  constexpr int kSpeed = 10, kStartSecond = 10 * 3600 + 4 * 60 + 58;
  const ScheduleDate today{2030, 6, 14};
  QElapsedTimer real;
  real.start();
  MainWindowServices services = Services();
  services.schedulePeriodMs = 500;
  services.localClock = [&] {
    const qint64 second = kStartSecond + real.elapsed() * kSpeed / 1000;
    return LocalClockReading{today, static_cast<int>(second / 60)};
  };
  auto window = Show(services);
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  Store("EnableScheduledRecording", "TRUE");
  Store("DoNotStreamWithScheduledRecording", "TRUE");
  Store("ScheduledRecordingCount", "1");
  Store("ScheduledRecording0_Date", FormatScheduleDate(today));
  Store("ScheduledRecording0_FromTime", FormatScheduleTime("10", "05", "AM"));
  Store("ScheduledRecording0_ToTime", FormatScheduleTime("10", "06", "AM"));
  window->LoadSchedules();
  ASSERT_TRUE(window->scheduleMonitorRunning());

  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() >= 1; }, 30000));
  const std::string path = finished[0][0].toString().toStdString();
  EXPECT_EQ(path, dir_ / "rec/Take.mp4");
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Video(), nullptr);
  ASSERT_NE(file.Audio(), nullptr);
  // Six real seconds, give or take a pass and the engine's start.
  EXPECT_GE(file.Video()->DurationSeconds(), 4.5);
  EXPECT_LE(file.Video()->DurationSeconds(), 7.5);
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(ToneShare(DecodeAudio(path), 440), 0.8);
  // Nothing reached the server.
  const std::filesystem::path records = std::filesystem::path(server.RecordedFile("sched")).parent_path();
  EXPECT_TRUE(std::filesystem::is_empty(records));
  EXPECT_NE(ReadFile(kDebugLog).find("Streaming disabled: Scheduled recording is active and 'Do not stream with "
                                     "scheduled recording' is enabled\n"),
            std::string::npos);
  EXPECT_EQ(store_.ReadValue(kRootKey, "ScheduledRecording0_Status"), "Completed");
  EXPECT_EQ(store_.ReadValue(kRootKey, "ScheduledRecording0_FilePath"), path);
  EXPECT_TRUE(Logged(*window, ScheduleRecordingStarted, path));
  EXPECT_TRUE(Logged(*window, ScheduleRecordingStopped, path));
  EXPECT_EQ(window->activeScheduleIndex(), -1);
}

}  // namespace

int main(int argc, char** argv) { return RunOnVirtualDesktop(argc, argv, kWidth, kHeight, kDebugLog); }
