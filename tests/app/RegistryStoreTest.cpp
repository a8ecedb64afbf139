// The registry store: keys, values in written order, case-insensitive key
// names, atomic saves and writers in several processes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Processes.h"
#include "core/StreamingServers.h"
#include "platform/RegistryStore.h"

using orvex::RegistryStore;
using testsupport::TempDir;

namespace {

class RegistryStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
};

TEST_F(RegistryStoreTest, ValuesKeepWrittenOrderAndKeysIgnoreCase) {
  EXPECT_FALSE(store_.KeyExists("SOFTWARE\\OrvexLite"));
  EXPECT_FALSE(store_.ReadValue("SOFTWARE\\OrvexLite", "A"));
  ASSERT_TRUE(store_.WriteValue("SOFTWARE\\OrvexLite", "Zeta", "1"));
  ASSERT_TRUE(store_.WriteValue("Software\\orvexlite", "Alpha", "two words"));
  ASSERT_TRUE(store_.WriteValue("SOFTWARE\\OrvexLite", "Mid", "line\nbreak \"quoted\" back\\slash ]"));
  EXPECT_TRUE(store_.KeyExists("software\\ORVEXLITE"));
  EXPECT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite", "Alpha"), "two words");
  EXPECT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite", "Mid"), "line\nbreak \"quoted\" back\\slash ]");
  EXPECT_EQ(store_.EnumValue("SOFTWARE\\OrvexLite", 0)->first, "Zeta");
  EXPECT_EQ(store_.EnumValue("SOFTWARE\\OrvexLite", 1)->first, "Alpha");
  EXPECT_EQ(store_.EnumValue("SOFTWARE\\OrvexLite", 2)->first, "Mid");
  EXPECT_FALSE(store_.EnumValue("SOFTWARE\\OrvexLite", 3));

  // Overwriting keeps the place; a long value survives whole.
  const std::string longText(5000, 'x');
  ASSERT_TRUE(store_.WriteValue("SOFTWARE\\OrvexLite", "Zeta", longText));
  EXPECT_EQ(store_.EnumValue("SOFTWARE\\OrvexLite", 0)->second, longText);

  EXPECT_TRUE(store_.DeleteValue("SOFTWARE\\OrvexLite", "alpha"));
  EXPECT_FALSE(store_.ReadValue("SOFTWARE\\OrvexLite", "Alpha"));
  EXPECT_EQ(store_.EnumValue("SOFTWARE\\OrvexLite", 1)->first, "Mid");

  // The file is plain text a person can read.
  EXPECT_NE(testsupport::ReadFile(store_.filePath()).find("[SOFTWARE\\\\OrvexLite]"), std::string::npos);
}

TEST_F(RegistryStoreTest, SubkeysEnumerateAndDeleteWithTheirValues) {
  store_.CreateKey("SOFTWARE\\OrvexLite");
  store_.WriteValue("SOFTWARE\\OrvexLite\\StreamingServers", "Server0", "a|b||0");
  store_.WriteValue("SOFTWARE\\OrvexLite\\RecentFiles", "File0", "/tmp/x.mp4");
  EXPECT_EQ(store_.EnumSubkey("SOFTWARE\\OrvexLite", 0), "StreamingServers");
  EXPECT_EQ(store_.EnumSubkey("SOFTWARE\\OrvexLite", 1), "RecentFiles");
  EXPECT_FALSE(store_.EnumSubkey("SOFTWARE\\OrvexLite", 2));
  EXPECT_TRUE(store_.DeleteKey("software\\orvexlite\\streamingservers"));
  EXPECT_FALSE(store_.KeyExists("SOFTWARE\\OrvexLite\\StreamingServers"));
  EXPECT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite\\RecentFiles", "File0"), "/tmp/x.mp4");
}

TEST_F(RegistryStoreTest, RunKeyIsTheAutostartEntry) {
  const char* run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_FALSE(store_.ReadValue(run, "OrvexLite"));
  ASSERT_TRUE(store_.WriteValue(run, "OrvexLite", "/usr/bin/OrvexLite"));
  const std::string entry = testsupport::ReadFile(dir_ / "autostart/OrvexLite.desktop");
  EXPECT_NE(entry.find("Exec=/usr/bin/OrvexLite\n"), std::string::npos);
  EXPECT_EQ(store_.ReadValue(run, "OrvexLite"), "/usr/bin/OrvexLite");
  EXPECT_TRUE(store_.DeleteValue(run, "OrvexLite"));
  EXPECT_FALSE(store_.ReadValue(run, "OrvexLite"));
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kRounds = 300;
  auto writer = [&](const std::string& name) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      RegistryStore own(store_.filePath(), dir_ / "autostart");
      for (int i = 0; i < kRounds; ++i) own.WriteValue("SOFTWARE\\OrvexLite", name, std::to_string(i));
      ::_exit(0);
    }
    return pid;
  };
  const pid_t first = writer("First"), second = writer("Second");
  int status = 0;
  ::waitpid(first, &status, 0);
  EXPECT_EQ(status, 0);
  ::waitpid(second, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite", "First"), std::to_string(kRounds - 1));
  EXPECT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite", "Second"), std::to_string(kRounds - 1));
}

TEST_F(RegistryStoreTest, KillingAWriterNeverLeavesABrokenFile) {
  store_.WriteValue("SOFTWARE\\OrvexLite", "Stable", "kept");
  for (int round = 0; round < 20; ++round) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      RegistryStore own(store_.filePath(), dir_ / "autostart");
      for (int i = 0;; ++i) own.WriteValue("SOFTWARE\\OrvexLite", "Busy", std::string(2000 + i % 97, 'b'));
    }
    ::usleep(3000 + round * 1500);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_EQ(store_.ReadValue("SOFTWARE\\OrvexLite", "Stable"), "kept") << "round " << round;
  }
}

// The store holds stream keys: the owner's alone whatever the umask, and a
// store left readable by others is narrowed.
TEST_F(RegistryStoreTest, OnlyItsOwnerMayReadTheStore) {
  const mode_t saved = ::umask(022);
  WriteStreamingServers(store_, {{"Main", "rtmp://live.example.net/app", "secret-key", 1}});
  ::umask(saved);
  struct stat file {}, folder {};
  ASSERT_EQ(::stat(store_.filePath().c_str(), &file), 0);
  ASSERT_EQ(::stat((dir_ / "OrvexLite").c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  EXPECT_FALSE(store_.NarrowToOwner());
  ::chmod(store_.filePath().c_str(), 0644);
  ::chmod((dir_ / "OrvexLite").c_str(), 0755);
  EXPECT_TRUE(store_.NarrowToOwner());
  ASSERT_EQ(::stat(store_.filePath().c_str(), &file), 0);
  ASSERT_EQ(::stat((dir_ / "OrvexLite").c_str(), &folder), 0);
  EXPECT_EQ(file.st_mode & 0777, 0600u);
  EXPECT_EQ(folder.st_mode & 0777, 0700u);
  // The autostart entry holds no secret: it keeps the usual mode.
  const mode_t before = ::umask(022);
  store_.WriteValue(orvex::kRunKey, "OrvexLite", "/usr/bin/OrvexLite");
  ::umask(before);
  ASSERT_EQ(::stat((dir_ / "autostart/OrvexLite.desktop").c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 0777, 0644u);
}

}  // namespace
