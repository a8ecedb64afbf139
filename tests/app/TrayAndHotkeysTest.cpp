// The tray icon and the global hotkeys on a real X display with a real tray
// host, driven by xdotool as a user would.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <filesystem>

#include "FakeEngine.h"
#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "ForeignKeyGrab.h"
#include "MediaProbe.h"
#include "RecordingEnvironment.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "core/StreamingServers.h"
#include "core/SystemTray.h"
#include "platform/DesktopLauncher.h"
#include "platform/GlobalHotkeys.h"
#include "platform/SingleInstance.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr int kWidth = 1280, kHeight = 720;
std::unique_ptr<TrayHost> gTrayHost;

void Xdotool(const std::string& arguments) { RunCommand("xdotool " + arguments); }

// Whether a shown window of this program has a label with the text.
bool VisibleTextContains(const QString& text) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    for (QLabel* label : top->findChildren<QLabel*>())
      if (label->text().contains(text)) return true;
  }
  return false;
}

// Moves the pointer, lets the window under it see it arrive, then clicks.
void ClickAt(const QPoint& where, int button) {
  Xdotool("mousemove " + std::to_string(where.x()) + " " + std::to_string(where.y()));
  QTest::qWait(300);
  Xdotool("click " + std::to_string(button));
}

class TrayAndHotkeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_RECORDING_ENVIRONMENT();
    if (!gTrayHost) GTEST_SKIP() << MissingTrayTools();
    ASSERT_TRUE(gTrayHost->ok());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"}) ::setenv(name, dir_.path().c_str(), 1);
    Store("FolderPath", dir_ / "rec");
    Store("DefaultOutfilename", "Take");
    Store("RecordAudio", "TRUE");
    Store("SelectedMicrophone", RecordingEnvironment::Get().mic->Description());
    Store("LoggingEnabled", "TRUE");
    std::filesystem::create_directories(dir_ / "rec");
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  std::unique_ptr<CMainDlg> Make(RecordingEngine& engine, Notifier* notifier) {
    auto window = std::make_unique<CMainDlg>(MainWindowServices{
        store_, prompts_, launcher_, engine, times_, cameras_, notifier, nullptr, "/opt/orvex/OrvexLite", {}});
    // Below the panel's row: with no window manager nothing keeps the panel on top.
    window->move(0, 40);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }
  // Right-clicks the tray icon and waits for its menu.
  static QMenu* OpenTrayMenu(CMainDlg& window) {
    QMenu* menu = window.tray()->menu();
    const QRect icon = window.tray()->icon()->geometry();
    EXPECT_TRUE(icon.isValid());
    ClickAt(icon.center(), 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 5000));
    return menu;
  }
  static void CloseMenu(QMenu* menu) {
    menu->close();
    QTest::qWait(100);
  }
  static QAction* Item(CMainDlg& window, int id) { return window.tray()->Command(id); }
  static bool Logged(CMainDlg& window, EventType type) {
    for (const EventRecord& event : window.eventLog().ReadAllEvents())
      if (event.type == type) return true;
    return false;
  }

  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
  FakeLauncher launcher_;
  FakeSystemTimes times_;
  FakeCameras cameras_;
  FakeNotifier notifier_;
};

TEST_F(TrayAndHotkeysTest, IconDocksAndItsMenuFollowsTheRecording) {
  FakeEngine engine;
  auto window = Make(engine, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([] { return gTrayHost->Docked("OrvexLite"); }, 5000));
  EXPECT_EQ(window->tray()->icon()->toolTip(), "Double click to Launch OrvexLite Main Window");

  QMenu* menu = OpenTrayMenu(*window);
  EXPECT_TRUE(Item(*window, ID_TRAY_START)->isEnabled());
  EXPECT_EQ(Item(*window, ID_TRAY_START)->text(), "Start\tCtrl+Alt+S");
  EXPECT_FALSE(Item(*window, ID_TRAY_STOP)->isEnabled());
  EXPECT_FALSE(Item(*window, ID_TRAY_PAUSE)->isEnabled());
  EXPECT_TRUE(Item(*window, ID_TRAY_SHOW_CAMERA)->font().bold());
  EXPECT_EQ(Item(*window, ID_TRAY_SHOW_CAMERA)->text(), "Show Camera\tCtrl+Alt+C");
  // Choosing Start records.
  const QRect start = menu->actionGeometry(Item(*window, ID_TRAY_START)).translated(menu->pos());
  ClickAt(start.center(), 1);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  EXPECT_TRUE(window->controller().startedFromBackground == false);  // cleared by the start

  menu = OpenTrayMenu(*window);
  EXPECT_FALSE(Item(*window, ID_TRAY_START)->isEnabled());
  EXPECT_TRUE(Item(*window, ID_TRAY_STOP)->isEnabled());
  EXPECT_TRUE(Item(*window, ID_TRAY_PAUSE)->isVisible());
  EXPECT_EQ(Item(*window, ID_TRAY_PAUSE)->text(), "Pause\tCtrl+Alt+P");
  CloseMenu(menu);

  window->controller().TogglePause();
  menu = OpenTrayMenu(*window);
  EXPECT_EQ(Item(*window, ID_TRAY_PAUSE)->text(), "Resume\tCtrl+Alt+R");
  const QRect resume = menu->actionGeometry(Item(*window, ID_TRAY_PAUSE)).translated(menu->pos());
  ClickAt(resume.center(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !engine.IsRecordingPaused(); }, 3000));
  EXPECT_FALSE(window->isActiveWindow() && window->controller().paused());  // no pause on activation
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);

  // A streaming recording has no Pause item.
  Store("EnableVideoStreaming", "TRUE");
  window.reset();
  window = Make(engine, nullptr);
  window->controller().testStreamUrl = "rtmp://127.0.0.1:9/live/test";
  window->OnTrayCommand(ID_TRAY_START);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  menu = OpenTrayMenu(*window);
  EXPECT_FALSE(Item(*window, ID_TRAY_PAUSE)->isVisible());
  CloseMenu(menu);
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

TEST_F(TrayAndHotkeysTest, RestartedHostDocksTheIconAgainAndBalloonsShow) {
  FakeEngine engine;
  auto window = Make(engine, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([] { return gTrayHost->Docked("OrvexLite"); }, 5000));
  gTrayHost.reset();
  gTrayHost = std::make_unique<TrayHost>();
  ASSERT_TRUE(gTrayHost->ok());
  EXPECT_TRUE(QTest::qWaitFor([] { return gTrayHost->Docked("OrvexLite"); }, 5000));

  window->tray()->ShowBalloon("Orvex", "Recording stopped using keyboard shortcut (Ctrl+Alt+S)",
                              Notifier::Icon::Information, 10000);
  EXPECT_TRUE(QTest::qWaitFor([] { return VisibleTextContains("Recording stopped using keyboard shortcut"); }, 3000));

  // Without a host nothing is shown and nothing fails.
  gTrayHost.reset();
  QTest::qWait(300);
  window->tray()->ShowBalloon("Orvex", "No host here", Notifier::Icon::Information, 1000);
  QTest::qWait(200);
  EXPECT_FALSE(VisibleTextContains("No host here"));
  // A host that appears later still gets the icon.
  gTrayHost = std::make_unique<TrayHost>();
  EXPECT_TRUE(QTest::qWaitFor([] { return gTrayHost->Docked("OrvexLite"); }, 5000));
}

TEST_F(TrayAndHotkeysTest, ActivatingTheWindowPausesUnlessItWasAClick) {
  Store("PauseRecordingWhenActivated", "TRUE");
  FakeEngine engine;
  auto window = Make(engine, &notifier_);
  QWidget elsewhere;
  elsewhere.setGeometry(900, 300, 200, 100);
  elsewhere.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
  const auto focus = [](QWidget& target) {
    RunCommand("xdotool windowfocus --sync " + std::to_string(target.winId()));
    QTest::qWait(400);  // past the moment a click's press would have come
  };
  focus(elsewhere);
  window->OnTrayCommand(ID_TRAY_START);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  window->controller().TogglePause();  // a pause the user asked for: activation leaves it alone
  window->controller().TogglePause();

  // A click into the window activates it without pausing.
  ClickAt(window->mapToGlobal(QPoint(window->width() / 2, 200)), 1);
  QTest::qWait(400);
  EXPECT_TRUE(window->isActiveWindow());
  EXPECT_FALSE(engine.IsRecordingPaused());

  // Activated by the keyboard (focus moved to it): paused, with the balloon.
  focus(elsewhere);
  focus(*window);
  EXPECT_TRUE(QTest::qWaitFor([&] { return engine.IsRecordingPaused(); }, 2000));
  EXPECT_TRUE(window->controller().paused());
  ASSERT_FALSE(notifier_.balloons.empty());
  EXPECT_EQ(notifier_.balloons.back().text,
            "Recording has been paused because the main window was activated.This Option is Enabled from Default Settings.");
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

TEST_F(TrayAndHotkeysTest, HotkeysRecordPauseResumeAndStop) {
  Store("MinimizeToTray", "TRUE");
  CapmillEngine engine;
  auto window = Make(engine, &notifier_);
  ASSERT_EQ(window->hotkeys()->registered().size(), 4u);
  QSignalSpy finished(&window->controller(), &RecordingController::RecordingFinished);
  Xdotool("key ctrl+alt+s");
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.GetGlobalTimer() != nullptr; }, 10000));
  EXPECT_TRUE(window->isHidden());
  QTest::qWait(1500);
  Xdotool("key ctrl+alt+p");
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.IsRecordingPaused(); }, 3000));
  ASSERT_FALSE(notifier_.balloons.empty());
  EXPECT_EQ(notifier_.balloons.back().text, "Recording paused using keyboard shortcut (Ctrl+Alt+P)");
  QTest::qWait(1500);
  Xdotool("key ctrl+alt+r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.IsRecordingPaused(); }, 3000));
  QTest::qWait(1500);
  Xdotool("key ctrl+alt+s");
  ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 1; }, 15000));
  EXPECT_EQ(notifier_.balloons.back().text, "Recording stopped using keyboard shortcut (Ctrl+Alt+S)");
  const std::string path = finished[0][0].toString().toStdString();
  const ProbedFile file = ProbeFile(path);
  ASSERT_TRUE(file.ok);
  ASSERT_NE(file.Video(), nullptr);
  const std::vector<int64_t> pts = file.Video()->SortedPts();
  ASSERT_GT(pts.size(), 15u);
  int64_t largestStep = 0;
  for (size_t i = 1; i < pts.size(); ++i) largestStep = std::max(largestStep, pts[i] - pts[i - 1]);
  EXPECT_LT(largestStep, 3 * 9000);
  EXPECT_NEAR(file.Video()->DurationSeconds(), 3.0, 0.7);
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_TRUE(Logged(*window, RecordingStarted));
  EXPECT_TRUE(Logged(*window, RecordingStopped));
}

TEST_F(TrayAndHotkeysTest, TheHotkeysLettersTypedIntoTheWindowReachIt) {
  FakeEngine engine;
  auto window = Make(engine, &notifier_);
  ASSERT_EQ(window->hotkeys()->registered().size(), 4u);
  auto* name = window->ControlAs<QLineEdit>(IDC_FILE_NAME);
  name->clear();
  RunCommand("xdotool windowfocus --sync " + std::to_string(window->winId()));
  name->setFocus();
  QTest::qWait(200);
  Xdotool("type --delay 20 'Press record'");
  Xdotool("key ctrl+s");  // Control without Alt: not a hotkey either
  EXPECT_TRUE(QTest::qWaitFor([&] { return name->text() == "Press record"; }, 3000)) << name->text().toStdString();
  EXPECT_FALSE(engine.Running());
}

TEST_F(TrayAndHotkeysTest, HotkeysWithNumLockHeldKeysAndAKeyTakenByAnother) {
  // Ctrl+Alt+C belongs to another program first.
  auto other = std::make_unique<ForeignKeyGrab>("c");
  ASSERT_TRUE(other->granted());

  FakeEngine engine;
  engine.finishDelayMs = 0;
  auto window = Make(engine, &notifier_);
  EXPECT_EQ(window->hotkeys()->registered(),
            (std::set<GlobalHotkeys::Key>{GlobalHotkeys::Key::S, GlobalHotkeys::Key::P, GlobalHotkeys::Key::R}));

  Xdotool("key Num_Lock");
  Xdotool("key ctrl+alt+s");
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  Xdotool("key ctrl+alt+s");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->IsRecording(); }, 5000));
  Xdotool("key Num_Lock");

  // Held for 1.5 s: one start, however often the key repeats.
  Xdotool("keydown ctrl+alt+s sleep 1.5 keyup ctrl+alt+s");
  QTest::qWait(500);
  EXPECT_EQ(engine.Recordings().size(), 2u);
  EXPECT_TRUE(window->IsRecording());
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);

  // Exit answered No keeps the hotkeys.
  prompts_.answers = {false};
  window->Command(ID_FILE_EXIT)->trigger();
  Xdotool("key ctrl+alt+s");
  EXPECT_TRUE(QTest::qWaitFor([&] { return engine.Recordings().size() == 3u; }, 5000));
  window->controller().StopRecording();
  window->controller().WaitForWorkers(5000);
}

TEST_F(TrayAndHotkeysTest, RestartHandsTheLockAndTheHotkeysToTheNewInstance) {
  Store("ShowAdvancedOptions", "TRUE");
  Store("EnableBkgMusic", "TRUE");
  Store("MusicFilePath", dir_ / "song.mp3");
  Store("PlayBkgMusicToDefaultDevice", "TRUE");
  const std::string runtime = dir_ / "run";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  // The new instance inherits these.
  ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  ::setenv("ORVEX_DEBUG_LOG", (dir_ / "debug.log").c_str(), 1);
  SingleInstance instance(runtime);
  ASSERT_TRUE(instance.Acquire());
  FakeEngine engine;
  QtDesktopLauncher launcher;
  auto window = std::make_unique<CMainDlg>(MainWindowServices{
      store_, prompts_, launcher, engine, times_, cameras_, &notifier_, &instance, ORVEX_PROGRAM, {}});
  window->show();
  ASSERT_EQ(window->hotkeys()->registered().size(), 4u);
  window->OnTrayCommand(ID_TRAY_START);
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  window->controller().StopRecording();

  QSignalSpy closed(window.get(), &CMainDlg::closedForGood);
  window->OnTrayCommand(ID_TRAY_START);  // a second recording with playback: a new instance records it
  EXPECT_TRUE(closed.wait(5000));
  EXPECT_EQ(engine.Recordings().size(), 1u);
  EXPECT_FALSE(engine.Running());  // the first file was finished before the launch
  EXPECT_FALSE(instance.held());
  const auto newInstanceHoldsTheLock = [&] { return !SingleInstance(runtime).Acquire(); };
  EXPECT_TRUE(QTest::qWaitFor(newInstanceHoldsTheLock, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    return ReadFile(dir_ / "debug.log").find("OnTimer: Auto-starting recording from StartRecordingMinimize parameter (minimized)\n") !=
           std::string::npos;
  }, 10000));
  for (const char* key : {"s", "p", "r", "c"}) EXPECT_FALSE(ForeignKeyGrab(key).granted()) << key;
  RunCommand(std::string("pkill -f '^") + ORVEX_PROGRAM + " StartRecordingMinimize'");
  ::unsetenv("ORVEX_DEBUG_LOG");
}

TEST_F(TrayAndHotkeysTest, RestartFromTheButtonAsksToStartRecording) {
  Store("ShowAdvancedOptions", "TRUE");
  Store("EnableBkgMusic", "TRUE");
  Store("MusicFilePath", dir_ / "song.mp3");
  Store("PlayBkgMusicToDefaultDevice", "TRUE");
  FakeEngine engine;
  auto window = Make(engine, &notifier_);
  window->OnStartStop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  window->OnStartStop();
  QSignalSpy closed(window.get(), &CMainDlg::closedForGood);
  window->OnStartStop();
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].program, "/opt/orvex/OrvexLite");
  EXPECT_EQ(launcher_.started[0].arguments, std::vector<std::string>{"StartRecording"});
  EXPECT_TRUE(closed.wait(3000));
  // A launch that fails says so and keeps this instance.
  launcher_.startSucceeds = false;
  auto again = Make(engine, &notifier_);
  again->OnStartStop();
  ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Running(); }, 5000));
  again->OnStartStop();
  again->OnStartStop();
  EXPECT_EQ(prompts_.shown.back().title, "Restart Error");
  EXPECT_EQ(prompts_.LastText().rfind("Failed to restart application. Error code: ", 0), 0u);
}

}  // namespace

// The display, the microphone and the tray host exist before the
// application connects; Qt docks icons by the X11 protocol without D-Bus.
int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  RecordingEnvironment::Start(kWidth, kHeight);
  const bool ready = RecordingEnvironment::Get().skipReason.empty() && RecordingEnvironment::Get().failure.empty();
  if (ready && MissingTrayTools().empty()) gTrayHost = std::make_unique<TrayHost>();
  ::setenv("QT_QPA_PLATFORM", ready ? "xcb" : "offscreen", 1);
  int result = 0;
  {
    QApplication application(argc, argv);
    QApplication::setApplicationName("OrvexLite");  // names the icon's window, as in the program
    result = RUN_ALL_TESTS();
  }
  gTrayHost.reset();
  RecordingEnvironment::Stop();
  return result;
}
