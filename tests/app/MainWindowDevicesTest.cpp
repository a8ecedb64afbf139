// The main window's microphone list from the real engine and a real
// PulseAudio server.
#include <gtest/gtest.h>

#include <QComboBox>

#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

using namespace orvex;

namespace {

TEST(MainWindowDevices, ListsTheServersSourcesAndPicksTheStoredOne) {
  if (const std::string why = testsupport::MissingAudioTools(); !why.empty()) GTEST_SKIP() << why;
  testsupport::TempDir dir;
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"}) ::setenv(name, dir.path().c_str(), 1);
  testsupport::VirtualMicrophone mic(true);
  ASSERT_TRUE(mic.ok());
  // A third source whose name begins the first one's.
  ASSERT_FALSE(mic.Pactl("load-module module-remap-source master=tone.monitor source_name=mic3 "
                         "source_properties=device.description=Virtual")
                   .empty());
  const std::vector<std::string> expected = {mic.Description("mic"), mic.Description("mic2"), mic.Description("mic3")};
  ASSERT_EQ(expected[2], "Virtual");

  RegistryStore store(dir / "OrvexLite/registry.txt", dir / "autostart");
  testsupport::FakePrompts prompts;
  testsupport::FakeLauncher launcher;
  testsupport::FakeSystemTimes times;
  testsupport::FakeCameras cameras;
  testsupport::FakeNotifier notifier;
  CapmillEngine engine;
  auto open = [&] {
    return std::make_unique<CMainDlg>(
        MainWindowServices{store, prompts, launcher, engine, times, cameras, &notifier, nullptr, "/opt/orvex/OrvexLite"});
  };
  auto entries = [](CMainDlg& window) {
    auto* list = window.ControlAs<QComboBox>(IDC_MICROPHONE);
    std::vector<std::string> names;
    for (int i = 0; i < list->count(); ++i) names.push_back(list->itemText(i).toStdString());
    return names;
  };

  auto first = open();
  EXPECT_EQ(entries(*first), expected);  // the engine's order, no monitors
  first.reset();

  store.WriteValue(kRootKey, "SelectedMicrophone", "VIRTUAL");  // other letter case, and a prefix of the first
  auto second = open();
  EXPECT_EQ(second->ControlAs<QComboBox>(IDC_MICROPHONE)->currentText().toStdString(), "Virtual");
  EXPECT_EQ(store.ReadValue(kRootKey, "SelectedMicrophone"), "Virtual");
  second.reset();

  store.WriteValue(kRootKey, "SelectedMicrophone", expected[1]);
  auto third = open();
  EXPECT_EQ(third->ControlAs<QComboBox>(IDC_MICROPHONE)->currentIndex(), 1);
}

}  // namespace
