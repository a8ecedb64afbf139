// Starting, pausing and stopping recordings from the main window, against a
// fake engine that blocks like the real one.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <filesystem>

#include "MainWindowFixture.h"
#include "core/StreamingServers.h"

using namespace orvex;
using namespace testsupport;

namespace {

class RecordingControllerTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    Store("FolderPath", dir_ / "rec");
    Store("DefaultOutfilename", "Take");
    Store("RecordAudio", "TRUE");
    Store("SelectedMicrophone", "Headset");
    std::filesystem::create_directories(dir_ / "rec");
  }
  QPushButton* StartStop(CMainDlg& window) { return window.ControlAs<QPushButton>(IDC_START_STOP); }
  bool WaitFor(const std::function<bool()>& condition, int ms = 5000) {
    return QTest::qWaitFor(condition, ms);
  }
  std::vector<EventRecord> Events(CMainDlg& window) { return window.eventLog().ReadAllEvents(); }
  bool Logged(CMainDlg& window, EventType type, const std::string& details) {
    for (const EventRecord& event : Events(window))
      if (event.type == type && event.details == details) return true;
    return false;
  }
};

TEST_F(RecordingControllerTest, StartPauseStopFromTheWindow) {
  Store("LoggingEnabled", "TRUE");
  Store("DefaultFPS", "25");
  Store("DefaultCRF", "18");
  auto window = Make();
  CMainDlg& w = *window;
  Click(StartStop(w));
  ASSERT_TRUE(WaitFor([&] { return engine_.Running(); }));
  const std::string path = dir_ / "rec/Take.mp4";
  EXPECT_TRUE(w.IsRecording());
  EXPECT_EQ(StartStop(w)->text(), "Stop Recording");
  EXPECT_EQ(w.PaneText(0), "Recording...");
  EXPECT_EQ(w.PaneText(3), "Streaming: Recording Only");
  EXPECT_FALSE(w.Control(IDC_CAMERA_SIZE)->isEnabled());
  const auto recordings = engine_.Recordings();
  ASSERT_EQ(recordings.size(), 1u);
  EXPECT_EQ(recordings[0].name, "qelRecordScreenWithAudio");
  EXPECT_EQ(recordings[0].args, (std::vector<std::string>{path, "audio=Headset"}));
  EXPECT_EQ(engine_.CountOf("qelSetSystemMonitoringEnabled"), 1);
  EXPECT_EQ(engine_.CountOf("qelSetDynamicLimitsEnabled"), 1);
  // The stored defaults reach the engine before the call, then the window.
  const auto calls = engine_.Calls();
  std::vector<std::string> order;
  for (const auto& call : calls) order.push_back(call.name);
  const auto at = [&](const std::string& name) { return std::find(order.begin(), order.end(), name) - order.begin(); };
  EXPECT_LT(at("qelsetFrameRate"), at("qelRecordScreenWithAudio"));
  EXPECT_LT(at("qelSetVideoRes"), at("qelRecordScreenWithAudio"));
  EXPECT_EQ(calls[at("qelsetFrameRate")].args[0], "25");
  EXPECT_EQ(calls[at("qelSetCrf")].args[0], "18");
  EXPECT_TRUE(WaitFor([&] { return w.recordingDefaults().fps == 25; }));
  EXPECT_NE(Debug().find("Applied default settings: FPS=25, CRF=18\n"), std::string::npos);
  EXPECT_NE(Debug().find("Recording with microphone: audio=Headset\n"), std::string::npos);
  EXPECT_TRUE(Logged(w, RecordingStarted, path));

  w.controller().TogglePause();
  EXPECT_TRUE(engine_.IsRecordingPaused());
  w.controller().TogglePause();
  EXPECT_FALSE(engine_.IsRecordingPaused());

  QSignalSpy finished(&w.controller(), &RecordingController::RecordingFinished);
  Click(StartStop(w));
  EXPECT_EQ(StartStop(w)->text(), "Start Recording");
  EXPECT_EQ(w.PaneText(0), "Ready");
  EXPECT_EQ(w.PaneText(3), "Streaming: Disabled");
  EXPECT_TRUE(w.Control(IDC_CAMERA_SIZE)->isEnabled());
  ASSERT_TRUE(finished.wait(5000));
  EXPECT_EQ(finished[0][0].toString().toStdString(), path);
  EXPECT_FALSE(w.IsRecording());
  EXPECT_TRUE(Logged(w, RecordingStopped, path));
  EXPECT_NE(Debug().find("StopRecording: Using stored output file: " + path + "\n"), std::string::npos);

  // Changed defaults take effect at the next start.
  Store("DefaultFPS", "12");
  Store("DefaultCRF", "99");  // out of range: 30
  Click(StartStop(w));
  ASSERT_TRUE(WaitFor([&] { return engine_.Recordings().size() == 2; }));
  EXPECT_TRUE(WaitFor([&] { return w.recordingDefaults().fps == 12; }));
  EXPECT_NE(Debug().find("Applied default settings: FPS=12, CRF=30\n"), std::string::npos);
  Click(StartStop(w));
  EXPECT_TRUE(w.controller().WaitForWorkers(5000));
}

TEST_F(RecordingControllerTest, ElapsedTimeShowsInTheStatusBar) {
  auto window = Make();
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return window->PaneText(0).startsWith("Recording : 0 Min "); }, 4000));
  Click(StartStop(*window));
  EXPECT_EQ(window->PaneText(0), "Ready");
  window->controller().WaitForWorkers(5000);
}

TEST_F(RecordingControllerTest, StreamingChecksBeforeAStart) {
  Store("EnableVideoStreaming", "TRUE");
  Store("ShowAdvancedOptions", "TRUE");
  WriteStreamingServers(store_, {{"A", "rtmp://127.0.0.1:1/live", "k", 0}});
  auto window = Make();
  CMainDlg& w = *window;
  Click(StartStop(w));
  EXPECT_EQ(prompts_.shown.back().title, "No Streaming Server Selected");
  EXPECT_EQ(prompts_.LastText(), "Please select at least one server from the list before starting recording.");
  EXPECT_FALSE(w.IsRecording());

  WriteStreamingServers(store_, {{"A", "rtmp://127.0.0.1:1/live", "k", 1}});
  window = Make();
  Click(window->ControlAs<QCheckBox>(IDC_RECORD_AUDIO));
  Click(StartStop(*window));
  EXPECT_EQ(prompts_.shown.back().title, "OrvexLite");
  EXPECT_EQ(prompts_.LastText().rfind("Video Streaming needs an Audio Source To the Selected.", 0), 0u);
  EXPECT_FALSE(window->IsRecording());
  EXPECT_TRUE(engine_.Recordings().empty());

  // With audio it streams; the panes follow the worker.
  Click(window->ControlAs<QCheckBox>(IDC_RECORD_AUDIO));
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return window->PaneText(3) == "Streaming: 1 Server(s)"; }));
  EXPECT_EQ(engine_.Recordings()[0].name, "qelRecordAndStreamDesktopOne");
  // Every server disabled while streaming: Stop still stops.
  WriteStreamingServers(store_, {{"A", "rtmp://127.0.0.1:1/live", "k", 0}});
  Click(StartStop(*window));
  EXPECT_FALSE(window->IsRecording());
  EXPECT_EQ(window->PaneText(3), "Streaming: Stopped");
  EXPECT_TRUE(window->controller().WaitForWorkers(5000));
}

TEST_F(RecordingControllerTest, TestUrlFromTheControllerWarnsWhenItEnds) {
  Store("EnableVideoStreaming", "TRUE");
  auto window = Make();
  window->controller().testStreamUrl = "rtmp://127.0.0.1:9/live/test";
  window->controller().BeginRecording();  // as the tray does: no server checks
  ASSERT_TRUE(WaitFor([&] { return engine_.Running(); }));
  EXPECT_EQ(engine_.Recordings()[0].args[2], "rtmp://127.0.0.1:9/live/test");
  window->controller().StopRecording();
  EXPECT_TRUE(WaitFor([&] { return window->PaneText(1) == "Warning: Using test streaming URL"; }));
}

TEST_F(RecordingControllerTest, ScheduledRecordingThatMustNotStreamOnlyRecords) {
  Store("EnableVideoStreaming", "TRUE");
  auto window = Make();
  window->SetScheduleState(0, true);
  Click(StartStop(*window));  // no server: the checks are skipped for it
  ASSERT_TRUE(WaitFor([&] { return engine_.Running(); }));
  EXPECT_EQ(engine_.Recordings()[0].name, "qelRecordScreenWithAudio");
  EXPECT_EQ(window->PaneText(3), "Streaming: Recording Only");
  EXPECT_NE(Debug().find("Streaming disabled: Scheduled recording is active"), std::string::npos);
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

TEST_F(RecordingControllerTest, StopBeforeTheEngineBuiltItsInputsIsNotLost) {
  engine_.startDelayMs = 800;  // the engine forgets stops until its inputs exist
  auto window = Make();
  window->controller().BeginRecording();
  window->controller().StopRecording();
  EXPECT_EQ(window->PaneText(0), "Ready");
  EXPECT_TRUE(window->controller().WaitForWorkers(10000));
  EXPECT_EQ(engine_.GetGlobalTimer(), nullptr);
  EXPECT_GE(engine_.CountOf("qelStopRecording"), 2);  // sent again once the clock ran
}

TEST_F(RecordingControllerTest, PauseBeforeTheClockIsReappliedToIt) {
  engine_.startDelayMs = 500;
  auto window = Make();
  window->controller().BeginRecording();
  window->controller().TogglePause();
  engine_.ResumeRecording();  // what building the inputs does to an early pause
  ASSERT_TRUE(WaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }));
  EXPECT_TRUE(WaitFor([&] { return engine_.IsRecordingPaused(); }, 2000));
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

TEST_F(RecordingControllerTest, StartWhileThePreviousFileIsFinishingWaitsForIt) {
  engine_.finishDelayMs = 1000;
  Store("CreateNewFileForEachRecord", "TRUE");
  auto window = Make();
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }));
  Click(StartStop(*window));
  QTest::qWait(5);
  Click(StartStop(*window));  // at once: the engine is still finishing
  EXPECT_TRUE(window->IsRecording());
  EXPECT_EQ(engine_.Recordings().size(), 1u);
  ASSERT_TRUE(WaitFor([&] { return engine_.Recordings().size() == 2; }, 5000));
  ASSERT_EQ(finished.count(), 1);
  EXPECT_NE(engine_.Recordings()[0].args[0], engine_.Recordings()[1].args[0]);
  // The second recording keeps running: no stop meant for the first reaches it.
  QTest::qWait(400);
  EXPECT_TRUE(engine_.Running());
  EXPECT_TRUE(window->IsRecording());

  // A stop while a start waits cancels that start.
  Click(StartStop(*window));
  Click(StartStop(*window));
  Click(StartStop(*window));
  EXPECT_FALSE(window->IsRecording());
  EXPECT_TRUE(window->controller().WaitForWorkers(5000));
  EXPECT_EQ(engine_.Recordings().size(), 2u);
}

TEST_F(RecordingControllerTest, AWorkerThatEndsOnItsOwnIsReported) {
  Store("LoggingEnabled", "TRUE");
  engine_.endsOnItsOwn = true;
  auto window = Make();
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return window->PaneText(1) == "Recording ended unexpectedly"; }));
  EXPECT_FALSE(window->IsRecording());
  EXPECT_EQ(window->PaneText(0), "Ready");
  EXPECT_EQ(StartStop(*window)->text(), "Start Recording");
  ASSERT_FALSE(notifier_.balloons.empty());
  EXPECT_EQ(notifier_.balloons.back().text, "Recording ended unexpectedly");
  EXPECT_TRUE(Logged(*window, Error, dir_ / "rec/Take.mp4"));
}

// The engine ended the recording for a cause of its own: its line, which
// says what was kept, is what the user sees.
TEST_F(RecordingControllerTest, ARecordingTheEngineEndedShowsTheEnginesReason) {
  Store("LoggingEnabled", "TRUE");
  engine_.endsOnItsOwn = true;
  engine_.stopReason = "Disk full: recording stopped after 00:14; the file keeps what was written: /r/Take.mp4";
  auto window = Make();
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return window->PaneText(1) == QString::fromStdString(engine_.stopReason); }));
  EXPECT_FALSE(window->IsRecording());
  ASSERT_FALSE(notifier_.balloons.empty());
  EXPECT_EQ(notifier_.balloons.back().text, engine_.stopReason);
  EXPECT_TRUE(Logged(*window, Error, dir_ / "rec/Take.mp4"));
}

// A recording a crash cut off is finished at the next start, and the user
// is told where it is.
TEST_F(RecordingControllerTest, AnUnfinishedRecordingIsRecoveredAtStart) {
  Store("LoggingEnabled", "TRUE");
  engine_.recovered = {"/r/Take (recovered).mp4"};
  auto window = Make();
  EXPECT_EQ(window->PaneText(1), "Recovered an unfinished recording: /r/Take (recovered).mp4");
  EXPECT_TRUE(Logged(*window, Info, "/r/Take (recovered).mp4"));
}

TEST_F(RecordingControllerTest, UnavailableCombinationStartsAndLogsNothing) {
  Store("LoggingEnabled", "TRUE");
  Store("ShowAdvancedOptions", "TRUE");
  Store("EnableBkgMusic", "TRUE");
  Store("MusicFilePath", "/music/a.mp3");
  engine_.unavailable = {EntryPoint::RecordScreenWithAudioAndMusic};
  auto window = Make();
  const size_t events = Events(*window).size();
  Click(StartStop(*window));
  EXPECT_EQ(window->PaneText(1), "Not available in this version: Enable Background Music");
  EXPECT_FALSE(window->IsRecording());
  EXPECT_EQ(StartStop(*window)->text(), "Start Recording");
  EXPECT_EQ(window->PaneText(0), "Ready");
  EXPECT_TRUE(engine_.Recordings().empty());
  EXPECT_EQ(engine_.CountOf("qelSetSystemMonitoringEnabled"), 0);
  EXPECT_EQ(Events(*window).size(), events);
}

TEST_F(RecordingControllerTest, ExitWaitsUntilTheFileIsFinished) {
  engine_.finishDelayMs = 7000;
  auto window = Make();
  QSignalSpy closed(window.get(), &CMainDlg::closedForGood);
  Click(StartStop(*window));
  ASSERT_TRUE(WaitFor([&] { return engine_.GetGlobalTimer() != nullptr; }));
  prompts_.answers = {true};
  window->Command(ID_FILE_EXIT)->trigger();
  EXPECT_EQ(closed.count(), 1);
  EXPECT_FALSE(engine_.Running());  // the engine call had returned before the window closed
}

TEST_F(RecordingControllerTest, SmallCameraIsQuestionedAndTheRecordingStartsEitherWay) {
  Store("IncludeCamera", "TRUE");
  Store("CameraSize", "80");
  auto window = Make();
  for (const bool keep : {true, false}) {
    prompts_.answers = {keep};
    Click(StartStop(*window));
    EXPECT_EQ(prompts_.shown.back().title, "Small Camera Window Warning");
    EXPECT_TRUE(window->IsRecording());
    EXPECT_EQ(window->ControlAs<QLineEdit>(IDC_CAMERA_SIZE)->text(), keep ? "80" : "150");
    EXPECT_EQ(store_.ReadValue(kRootKey, "CameraSize"), keep ? "80" : "150");
    Click(StartStop(*window));
    ASSERT_TRUE(window->controller().WaitForWorkers(5000));
  }
  EXPECT_NE(Debug().find("User confirmed small camera size\n"), std::string::npos);
  EXPECT_NE(Debug().find("Camera size reset to 150 pixels\n"), std::string::npos);
}

TEST_F(RecordingControllerTest, MinimizeToTrayHidesTheWindowAtTheStart) {
  Store("MinimizeToTray", "TRUE");
  auto window = Make();
  Click(StartStop(*window));
  EXPECT_TRUE(window->isHidden());
  EXPECT_TRUE(window->IsRecording());
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

}  // namespace
