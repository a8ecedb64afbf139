// The server list: its stored form and the dialog's rules, answered by the test.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "FakePrompts.h"
#include "Processes.h"
#include "core/StreamingServers.h"
#include "core/StreamingSettingsDialog.h"
#include "platform/RegistryStore.h"

using namespace orvex;
using testsupport::FakePrompts;
using testsupport::TempDir;

namespace {

class StreamingServersTest : public ::testing::Test {
 protected:
  TempDir dir_;
  RegistryStore store_{dir_ / "registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
};

TEST_F(StreamingServersTest, EntriesRoundTripInStoredForm) {
  const std::vector<StreamingServer> servers = {{"Main", "rtmp://a/live", "", 1}, {"Backup", "rtmp://b/app", "k2", 0}};
  WriteStreamingServers(store_, servers);
  EXPECT_EQ(store_.ReadValue(kStreamingServersKey, "Server0"), "Main|rtmp://a/live||1");
  EXPECT_EQ(store_.ReadValue(kStreamingServersKey, "Server1"), "Backup|rtmp://b/app|k2|0");
  EXPECT_EQ(ReadStreamingServers(store_), servers);

  StreamingServer parsed;
  EXPECT_FALSE(ParseServerEntry("|rtmp://x||1", parsed));  // no name
  EXPECT_FALSE(ParseServerEntry("Name", parsed));          // no URL
  EXPECT_TRUE(ParseServerEntry("Name|rtmp://x", parsed));
  EXPECT_EQ(parsed.enabled, 0);
  EXPECT_TRUE(ParseServerEntry("Na|me|rtmp://x||1", parsed));  // a stored "|" shifts the fields
  EXPECT_EQ(parsed.rtmpUrl, "me");
  EXPECT_EQ(parsed.enabled, 0);
}

TEST_F(StreamingServersTest, LongEntriesAreReadWhole) {
  const std::string longKey(2000, 'k');
  WriteStreamingServers(store_, {{"A", "rtmp://a", "", 1}, {"B", "rtmp://b", "", 0}, {"C", "rtmp://c", "", 1},
                                 {"D", "rtmp://d", longKey, 1}, {"E", "rtmp://e", "", 1}});
  const auto servers = ReadStreamingServers(store_);
  ASSERT_EQ(servers.size(), 5u);
  EXPECT_EQ(servers[3].key, longKey);
  EXPECT_EQ(servers[4].name, "E");
}

TEST_F(StreamingServersTest, DialogShowsTheDefaultUntilOkStoresIt) {
  {
    CStreamingSettingsDlg dialog(store_, prompts_);
    ASSERT_EQ(dialog.list()->topLevelItemCount(), 1);
    EXPECT_EQ(dialog.servers()[0].name, "YouTube");
    EXPECT_NE(dialog.servers()[0].rtmpUrl.find("/live2"), std::string::npos);
    EXPECT_EQ(dialog.list()->topLevelItem(0)->checkState(0), Qt::Unchecked);
    dialog.reject();  // Close: nothing stored
  }
  EXPECT_FALSE(store_.KeyExists(kStreamingServersKey));
}

TEST_F(StreamingServersTest, AddModifyRemoveFollowTheirRules) {
  CStreamingSettingsDlg dialog(store_, prompts_);
  dialog.nameEdit()->setText("Studio");
  dialog.OnAdd();
  EXPECT_EQ(prompts_.LastText(), "Please fill in Server Name and RTMP URL");
  EXPECT_EQ(prompts_.shown.back().title, "OrvexLite");
  EXPECT_EQ(prompts_.shown.back().icon, UserPrompts::Icon::Warning);

  dialog.urlEdit()->setText("rtmp://127.0.0.1/live");
  dialog.keyEdit()->setText("se|cret");
  dialog.OnAdd();
  EXPECT_EQ(prompts_.LastText(), "The Key field must not contain \"|\".");
  EXPECT_EQ(dialog.servers().size(), 1u);

  dialog.keyEdit()->setText("secret");
  dialog.enableBox()->setChecked(true);
  dialog.OnAdd();
  ASSERT_EQ(dialog.servers().size(), 2u);
  EXPECT_EQ(dialog.servers()[1], (StreamingServer{"Studio", "rtmp://127.0.0.1/live", "secret", 1}));
  EXPECT_EQ(dialog.list()->topLevelItem(1)->checkState(0), Qt::Checked);
  EXPECT_TRUE(dialog.nameEdit()->text().isEmpty());
  EXPECT_EQ(dialog.selected(), -1);

  dialog.OnModify();
  EXPECT_EQ(prompts_.LastText(), "Please select a server to modify");
  dialog.OnRemove();
  EXPECT_EQ(prompts_.LastText(), "Please select a server to remove");

  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
  EXPECT_EQ(dialog.nameEdit()->text(), "YouTube");
  dialog.nameEdit()->setText("Tube|2");
  dialog.OnModify();
  EXPECT_EQ(prompts_.LastText(), "The Server field must not contain \"|\".");
  dialog.nameEdit()->setText("Tube");
  dialog.keyEdit()->setText("abc");
  dialog.OnModify();
  EXPECT_EQ(dialog.servers()[0].name, "Tube");
  EXPECT_EQ(dialog.servers()[0].key, "abc");

  // A row's check box is the entry's enabled flag.
  dialog.list()->topLevelItem(0)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(dialog.servers()[0].enabled, 1);

  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(1));
  prompts_.answers = {false};
  dialog.OnRemove();
  EXPECT_EQ(prompts_.LastText(), "Are you sure you want to remove this server?");
  EXPECT_TRUE(prompts_.shown.back().question);
  EXPECT_EQ(dialog.servers().size(), 2u);
  dialog.list()->setCurrentItem(dialog.list()->topLevelItem(1));
  prompts_.answers = {true};
  dialog.OnRemove();
  ASSERT_EQ(dialog.servers().size(), 1u);

  dialog.OnOk();
  EXPECT_EQ(store_.ReadValue(kStreamingServersKey, "Server0"), "Tube|rtmp://a.rtmp.youtube.com/live2|abc|1");
  EXPECT_FALSE(store_.ReadValue(kStreamingServersKey, "Server1"));
}

TEST_F(StreamingServersTest, RemovingTheLastEntryStoresAnEmptyList) {
  WriteStreamingServers(store_, {{"Only", "rtmp://only/live", "", 1}});
  {
    CStreamingSettingsDlg dialog(store_, prompts_);
    dialog.list()->setCurrentItem(dialog.list()->topLevelItem(0));
    prompts_.answers = {true};
    dialog.OnRemove();
    dialog.OnOk();
  }
  EXPECT_TRUE(ReadStreamingServers(store_).empty());
  CStreamingSettingsDlg reopened(store_, prompts_);
  ASSERT_EQ(reopened.servers().size(), 1u);
  EXPECT_EQ(reopened.servers()[0].name, "YouTube");
  EXPECT_EQ(reopened.servers()[0].enabled, 0);
}

}  // namespace
