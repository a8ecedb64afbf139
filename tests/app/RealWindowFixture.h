// The real main window with the real engine on the virtual desktop: a
// private store and folders, and fakes only for what a test cannot see
// (prompts, the desktop launcher, system times, camera controls, balloons).
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <filesystem>
#include <memory>

#include "FakePrompts.h"
#include "FakeServices.h"
#include "Fixtures.h"
#include "RecordingEnvironment.h"
#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

namespace testsupport {

class RealWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_RECORDING_ENVIRONMENT();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"}) ::setenv(name, dir_.path().c_str(), 1);
    Store("FolderPath", dir_ / "rec");
    Store("DefaultOutfilename", "Take");
    std::filesystem::create_directories(dir_ / "rec");
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(orvex::kRootKey, name, value); }
  orvex::MainWindowServices Services() {
    return {store_, prompts_, launcher_, engine_, times_, cameras_, &notifier_, nullptr, "/opt/orvex/OrvexLite"};
  }
  // The window as the user meets it: shown, its layout in place.
  std::unique_ptr<CMainDlg> Show(const orvex::MainWindowServices& services) {
    auto window = std::make_unique<CMainDlg>(services);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }

  TempDir dir_;
  orvex::RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
  FakeLauncher launcher_;
  FakeSystemTimes times_;
  FakeCameras cameras_;
  FakeNotifier notifier_;
  orvex::CapmillEngine engine_;
};

}  // namespace testsupport
