// The recent recordings list in the store, the "Select Video to Play" dialog,
// the Tools menu's commands, and "Play Recorded Videos" in the main window.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "MainWindowFixture.h"
#include "core/RecentFiles.h"
#include "features/RecentFilesSelectDialog.h"
#include "platform/DesktopLauncher.h"

using namespace orvex;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class RecentFilesTest : public ::testing::Test {
 protected:
  std::vector<std::string> Load(int limit = 500) { return LoadRecentFiles(store_, limit); }
  // A stored list of `count` recordings, newest ("<prefix><count-1>.mp4") first, in one write.
  void Fill(const std::string& prefix, int count) {
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < count; ++i)
      values.emplace_back("File" + std::to_string(i), prefix + std::to_string(count - 1 - i) + ".mp4");
    ASSERT_TRUE(store_.RewriteValues(kRecentFilesKey, [](const std::string&) { return true; }, values));
  }
  std::optional<std::string> Position(int position) {
    return store_.ReadValue(kRecentFilesKey, "File" + std::to_string(position));
  }

  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
};

TEST_F(RecentFilesTest, NewestFirstOnceAndWithinTheLimit) {
  AddRecentFile(store_, "/r/a.mp4", 10);
  AddRecentFile(store_, "/r/b.mp4", 10);
  AddRecentFile(store_, "/r/a.mp4", 10);
  EXPECT_EQ(Load(), (std::vector<std::string>{"/r/a.mp4", "/r/b.mp4"}));
  // Letter case makes another file.
  AddRecentFile(store_, "/r/A.mp4", 10);
  EXPECT_EQ(Load().size(), 3u);
  AddRecentFile(store_, "", 10);
  EXPECT_EQ(Load().size(), 3u);
  for (int i = 0; i < 6; ++i) AddRecentFile(store_, "/r/" + std::to_string(i) + ".mp4", 3);
  EXPECT_EQ(Load(), (std::vector<std::string>{"/r/5.mp4", "/r/4.mp4", "/r/3.mp4"}));
  EXPECT_FALSE(Position(3));
  const std::string longPath = "/r/" + std::string(600, 'x') + ".mp4";
  AddRecentFile(store_, longPath, 3);
  EXPECT_EQ(Load().front(), longPath);
}

TEST_F(RecentFilesTest, AnEmptyEntryIsSkippedAndReadingGoesOn) {
  store_.WriteValue(kRecentFilesKey, "File0", "/r/a.mp4");
  store_.WriteValue(kRecentFilesKey, "File1", "");
  store_.WriteValue(kRecentFilesKey, "File2", "/r/c.mp4");
  store_.WriteValue(kRecentFilesKey, "File4", "/r/after-a-gap.mp4");
  EXPECT_EQ(Load(), (std::vector<std::string>{"/r/a.mp4", "/r/c.mp4"}));
}

TEST_F(RecentFilesTest, ALowerLimitRemovesEveryOlderPosition) {
  for (int i = 0; i < 20; ++i) AddRecentFile(store_, "/r/" + std::to_string(i) + ".mp4", 20);
  AddRecentFile(store_, "/r/new.mp4", 10);
  EXPECT_EQ(Load().size(), 10u);
  for (int position = 10; position < 20; ++position) EXPECT_FALSE(Position(position)) << position;

  Fill("/stale/", 500);
  AddRecentFile(store_, "/r/lowered.mp4", 10);
  for (int i = 0; i < 10; ++i) AddRecentFile(store_, "/fresh/" + std::to_string(i) + ".mp4", 500);
  // Ten fresh ones, then the ten the lowered limit kept: nothing older comes back.
  const std::vector<std::string> files = Load();
  EXPECT_EQ(files.size(), 20u);
  EXPECT_EQ(files[10], "/r/lowered.mp4");
  EXPECT_EQ(files.back(), "/stale/491.mp4");
  EXPECT_FALSE(Position(20));
}

// The store is replaced once per addition, however long the list.
TEST_F(RecentFilesTest, OneAdditionIsOneChangeOfTheStore) {
  Fill("/r/", 500);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, (dir_ / "OrvexLite").c_str(), IN_MOVED_TO), 0);
  AddRecentFile(store_, "/r/newest.mp4", 500);
  int renames = 0;
  alignas(inotify_event) char buffer[8192];
  for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;)
    for (char* at = buffer; at < buffer + got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->len && std::string(event->name) == "registry.txt") ++renames;
      at += sizeof(inotify_event) + event->len;
    }
  ::close(watch);
  EXPECT_EQ(renames, 1);
  EXPECT_EQ(Load().front(), "/r/newest.mp4");
  EXPECT_EQ(Load().size(), 500u);
}

TEST(RecentFilesSelectDialog, PlayKeepsItOpenAndEscapeClosesIt) {
  std::vector<std::string> opened;
  const std::vector<std::string> files = {"/r/newest.mp4", "/r/" + std::string(300, 'w') + ".mp4"};
  CRecentFilesSelectDlg dialog(files, [&](const std::string& path) { opened.push_back(path); });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(dialog.windowTitle(), "Select Video to Play");
  EXPECT_EQ(dialog.size(), QSize(800, 525));
  EXPECT_EQ(dialog.list()->geometry(), QRect(15, 40, 755, 380));
  EXPECT_EQ(dialog.list()->currentRow(), 0);
  // It scrolls sideways to the widest path plus 20.
  const int widest = QFontMetrics(dialog.list()->font()).horizontalAdvance(QString::fromStdString(files[1]));
  EXPECT_EQ(dialog.list()->horizontalScrollBar()->maximum() + dialog.list()->viewport()->width(), widest + 20);
  QTest::keyClick(dialog.list(), Qt::Key_Return);
  EXPECT_EQ(opened, std::vector<std::string>{files[0]});
  EXPECT_TRUE(dialog.isVisible());
  // A double-click, as the mouse sends it: a click, then the second press.
  const QPoint second(20, dialog.list()->visualItemRect(dialog.list()->item(1)).center().y());
  QTest::mouseClick(dialog.list()->viewport(), Qt::LeftButton, {}, second);
  QTest::mouseDClick(dialog.list()->viewport(), Qt::LeftButton, {}, second);
  EXPECT_EQ(opened.back(), files[1]);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
}

// Tools found on a PATH of small scripts that write down how they were started.
TEST(DesktopTools, TheFirstToolFoundOnThePathStarts) {
  TempDir dir;
  const std::string log = dir / "started.txt";
  const auto tool = [&](const std::string& name) {
    const fs::path script = fs::path(dir / "bin") / name;
    fs::create_directories(script.parent_path());
    std::ofstream(script) << "#!/bin/sh\necho \"" << name << " $*\" >> " << log << "\n";
    fs::permissions(script, fs::perms::owner_all);
  };
  const std::string savedPath = std::getenv("PATH");
  ::setenv("PATH", (dir / "bin").c_str(), 1);
  QtDesktopLauncher launcher;
  fs::create_directories(dir / "bin");
  EXPECT_FALSE(OpenScreenshotTool(launcher));
  EXPECT_FALSE(OpenPaintTool(launcher));
  tool("spectacle");
  tool("pinta");
  tool("gimp");
  EXPECT_TRUE(OpenScreenshotTool(launcher));
  EXPECT_TRUE(OpenPaintTool(launcher));
  tool("gnome-screenshot");
  tool("kolourpaint");
  EXPECT_TRUE(OpenScreenshotTool(launcher));
  EXPECT_TRUE(OpenPaintTool(launcher));
  ::setenv("PATH", savedPath.c_str(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ReadFile(log).size() >= std::string("spectacle \npinta \ngnome-screenshot -i\nkolourpaint \n").size(); }, 3000));
  std::string lines = ReadFile(log);
  for (const char* expected : {"spectacle \n", "pinta \n", "gnome-screenshot -i\n", "kolourpaint \n"})
    EXPECT_NE(lines.find(expected), std::string::npos) << expected << " in " << lines;
  EXPECT_EQ(lines.find("gimp"), std::string::npos);
}

class PlayRecordedVideosTest : public MainWindowTest {};

TEST_F(PlayRecordedVideosTest, OnlyFilesThatStillExistAreOffered) {
  auto window = Make();
  std::vector<std::string> opened;
  window->openFile = [&](const std::string& path) { opened.push_back(path); };
  window->OnPlayRecordedVideos();
  EXPECT_EQ(prompts_.LastText(), "No recently recorded videos found.");
  EXPECT_EQ(prompts_.shown.back().icon, UserPrompts::Icon::Information);

  const std::string first = dir_ / "first.mp4", second = dir_ / "second.mp4";
  std::ofstream(first) << "video";
  std::ofstream(second) << "video";
  AddRecentFile(store_, first, 10);
  AddRecentFile(store_, second, 10);
  // Two files: the dialog, newest first.
  std::vector<std::string> listed;
  QTimer::singleShot(200, [&] {
    auto* dialog = qobject_cast<CRecentFilesSelectDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    for (int i = 0; i < dialog->list()->count(); ++i) listed.push_back(dialog->list()->item(i)->text().toStdString());
    dialog->reject();
  });
  window->OnPlayRecordedVideos();
  EXPECT_EQ(listed, (std::vector<std::string>{second, first}));
  EXPECT_TRUE(opened.empty());

  fs::remove(second);
  window->OnPlayRecordedVideos();
  EXPECT_EQ(opened, std::vector<std::string>{first});
  fs::remove(first);
  window->OnPlayRecordedVideos();
  EXPECT_EQ(prompts_.LastText(), "No recently recorded videos found. The files may have been moved or deleted.");
  // The tools with nothing installed: no message.
  const size_t shown = prompts_.shown.size();
  window->Command(ID_SNIPPING_TOOL)->trigger();
  window->Command(ID_PAINT)->trigger();
  EXPECT_EQ(prompts_.shown.size(), shown);
  launcher_.programs = {{"flameshot", "/usr/bin/flameshot"}};
  window->Command(ID_SNIPPING_TOOL)->trigger();
  ASSERT_EQ(launcher_.started.size(), 1u);
  EXPECT_EQ(launcher_.started[0].arguments, std::vector<std::string>{"gui"});
}

}  // namespace
