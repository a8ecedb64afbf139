// The real OrvexLite program on a virtual desktop: one instance per user,
// the command line and the start with the session.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "Fixtures.h"
#include "MediaProbe.h"
#include "Processes.h"
#include "RecordingEnvironment.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"
#include "platform/SingleInstance.h"

using namespace orvex;
using namespace testsupport;

namespace {

constexpr auto kShort = std::chrono::seconds(5);
constexpr auto kLong = std::chrono::seconds(15);

bool WindowShown(const std::string& title) {
  return RunCommand("xdotool search --onlyvisible --name '^" + title + "$' >/dev/null") == 0;
}

class StartupTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RecordingEnvironment::Start(800, 600); }
  static void TearDownTestSuite() { RecordingEnvironment::Stop(); }
  void SetUp() override {
    REQUIRE_RECORDING_ENVIRONMENT();
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // X11 tray protocol, no session bus
    std::filesystem::create_directories(runtime_);
    ::chmod(runtime_.c_str(), 0700);
    Store("FolderPath", home_ / "rec");
    Store("DefaultOutfilename", "Take");
    Store("RecordAudio", "TRUE");
    Store("SelectedMicrophone", RecordingEnvironment::Get().mic->Description());
    std::filesystem::create_directories(home_ / "rec");
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  ChildProcess Start(const std::string& program, const std::vector<std::string>& arguments = {}) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return ChildProcess(argv,
                        {"XDG_CONFIG_HOME=" + home_.path(), "XDG_DATA_HOME=" + home_.path(), "HOME=" + home_.path(),
                         "XDG_RUNTIME_DIR=" + runtime_, "ORVEX_DEBUG_LOG=" + (home_ / "debug.log"),
                         "QT_QPA_PLATFORM=xcb"},
                        home_ / "program.log");
  }
  std::string Debug() const { return ReadFile(home_ / "debug.log"); }
  bool DebugHas(const std::string& text) const { return Debug().find(text) != std::string::npos; }
  std::vector<std::string> Recordings() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(home_ / "rec"))
      if (entry.path().extension() == ".mp4") files.push_back(entry.path());
    return files;
  }

  TempDir home_;
  std::string runtime_ = home_ / "run";
  RegistryStore store_{home_ / "OrvexLite/registry.txt", home_ / "autostart"};
};

TEST_F(StartupTest, StartWithTheSessionHidesAndASecondStartShowsTheFirst) {
  Store("AutomaticStart", "TRUE");
  store_.WriteValue(kRunKey, "OrvexLite", ORVEX_PROGRAM);
  ChildProcess first = Start(ORVEX_PROGRAM);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kLong));
  ASSERT_TRUE(WaitUntil([] { return !WindowShown("Orvex"); }, kShort));  // hidden after half a second
  ChildProcess second = Start(ORVEX_PROGRAM);
  EXPECT_EQ(second.WaitForExit(kLong), 0);
  EXPECT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kShort));
  EXPECT_FALSE(WindowShown("Single Instance"));
  EXPECT_TRUE(first.Running());
}

TEST_F(StartupTest, WithoutTheAutostartEntryTheWindowStays) {
  Store("AutomaticStart", "TRUE");
  // A store an earlier version left readable by everyone is the owner's after this start.
  ::chmod(store_.filePath().c_str(), 0644);
  ::chmod((home_ / "OrvexLite").c_str(), 0755);
  ChildProcess first = Start(ORVEX_PROGRAM);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kLong));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(WindowShown("Orvex"));
  struct stat file {}, folder {};
  ASSERT_EQ(::stat(store_.filePath().c_str(), &file), 0);
  ASSERT_EQ(::stat((home_ / "OrvexLite").c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_TRUE(DebugHas("Settings store was readable by other users; narrowed to its owner: "));
  // The debug channel may carry stream addresses: its file is the owner's too.
  ASSERT_EQ(::stat((home_ / "debug.log").c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
}

TEST_F(StartupTest, LockHeldWithoutAnswerTellsTheUserAndExitsCleanly) {
  SingleInstance other(runtime_);
  ASSERT_TRUE(other.Acquire());
  ChildProcess second = Start(ORVEX_PROGRAM);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Single Instance"); }, kLong));
  RunCommand("xdotool search --onlyvisible --name '^Single Instance$' windowfocus --sync key Return");
  EXPECT_EQ(second.WaitForExit(kShort), 0);
}

TEST_F(StartupTest, AfterACrashTheNextStartIsTheFirstInstance) {
  ChildProcess first = Start(ORVEX_PROGRAM);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kLong));
  first.Kill();
  ASSERT_TRUE(WaitUntil([] { return !WindowShown("Orvex"); }, kShort));
  ChildProcess next = Start(ORVEX_PROGRAM);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kLong));
  EXPECT_TRUE(next.Running());
  // It answers the start after it.
  ChildProcess third = Start(ORVEX_PROGRAM);
  EXPECT_EQ(third.WaitForExit(kLong), 0);
  EXPECT_TRUE(next.Running());
  EXPECT_FALSE(WindowShown("Single Instance"));
}

TEST_F(StartupTest, StartRecordingMinimizeRecordsHiddenUntilCtrlAltS) {
  ChildProcess program = Start(ORVEX_PROGRAM, {"StartRecordingMinimize"});
  ASSERT_TRUE(WaitUntil([this] { return DebugHas("OnTimer: Auto-starting recording from StartRecordingMinimize parameter (minimized)\n"); }, kLong));
  EXPECT_TRUE(DebugHas("OnInitDialog: Found StartRecordingMinimize parameter, will minimize and auto-start recording after initialization\n"));
  EXPECT_FALSE(WindowShown("Orvex"));
  // The engine says on standard error when its capture threads run.
  ASSERT_TRUE(WaitUntil([this] { return ReadFile(home_ / "program.log").find("Starting both video and audio threads") != std::string::npos; }, kLong));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  RunCommand("xdotool key ctrl+alt+s");
  const std::string path = home_ / "rec/Take.mp4";
  ASSERT_TRUE(WaitUntil([&] { return ProbeFile(path).ok; }, kLong));
  EXPECT_EQ(DecodeErrors(path), "");
  EXPECT_GT(ProbeFile(path).Video()->DurationSeconds(), 2.0);
  EXPECT_FALSE(WindowShown("Orvex"));
}

TEST_F(StartupTest, StartRecordingKeepsTheWindowAndAFolderNameStartsNothing) {
  {
    ChildProcess program = Start(ORVEX_PROGRAM, {"StartRecording"});
    ASSERT_TRUE(WaitUntil([this] { return DebugHas("OnTimer: Auto-starting recording from StartRecording parameter\n"); }, kLong));
    EXPECT_TRUE(WindowShown("Orvex"));
    RunCommand("xdotool key ctrl+alt+s");
    ASSERT_TRUE(WaitUntil([this] { return !Recordings().empty(); }, kLong));
  }
  std::filesystem::remove_all(home_ / "rec");
  std::filesystem::create_directories(home_ / "rec");
  std::filesystem::remove(home_ / "debug.log");
  // A copy of the program in a folder whose name holds the parameter.
  const std::string copy = home_ / "StartRecordingTest/OrvexLite";
  std::filesystem::create_directories(home_ / "StartRecordingTest");
  std::filesystem::copy_file(ORVEX_PROGRAM, copy);
  ChildProcess program = Start(copy);
  ASSERT_TRUE(WaitUntil([] { return WindowShown("Orvex"); }, kLong));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_FALSE(DebugHas("Auto-starting"));
  EXPECT_TRUE(Recordings().empty());
}

}  // namespace
