// The main window with fake services, shown on the offscreen platform, and
// the debug channel of the test program read back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include "FakeEngine.h"
#include "FakePrompts.h"
#include "FakeServices.h"
#include "Processes.h"
#include "core/MainDialog.h"
#include "core/Settings.h"
#include "platform/RegistryStore.h"

namespace testsupport {

using namespace orvex;

// The debug channel of this test program, read back by the tests.
inline const std::string kDebugLog = "/tmp/orvex-main-window-test-" + std::to_string(::getpid()) + ".log";
// A click where a user would click: a check box on its box, anything else
// in its middle.
inline void Click(QWidget* widget) {
  if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget))
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(8, widget->height() / 2));
  else
    QTest::mouseClick(widget, Qt::LeftButton);
}

inline const bool kDebugLogSet = ::setenv("ORVEX_DEBUG_LOG", kDebugLog.c_str(), 1) == 0;

inline std::string DebugLogSince(size_t offset) {
  const std::string all = testsupport::ReadFile(kDebugLog);
  return offset < all.size() ? all.substr(offset) : "";
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kDebugLogSet);
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "HOME"}) ::setenv(name, dir_.path().c_str(), 1);
    engine_.microphones = {"Studio Microphone", "Headset"};
    engine_.cameras = {"USB Camera HD", "USB Camera"};
    debugStart_ = testsupport::ReadFile(kDebugLog).size();
  }
  // The window as the user meets it: shown, its layout in place.
  std::unique_ptr<CMainDlg> Make(DesktopLauncher* launcher = nullptr) {
    auto window = std::make_unique<CMainDlg>(MainWindowServices{
        store_, prompts_, launcher ? *launcher : launcher_, engine_, times_, cameras_, &notifier_, nullptr, "/opt/orvex/OrvexLite"});
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return window;
  }
  void Store(const std::string& name, const std::string& value) { store_.WriteValue(kRootKey, name, value); }
  std::optional<std::string> Stored(const std::string& name) { return store_.ReadValue(kRootKey, name); }
  std::string Debug() const { return DebugLogSince(debugStart_); }
  template <typename T>
  static T* Get(CMainDlg& window, int id) {
    T* control = window.ControlAs<T>(id);
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  static bool Shown(CMainDlg& window, int id) { return !window.Control(id)->isHidden(); }

  TempDir dir_;
  RegistryStore store_{dir_ / "OrvexLite/registry.txt", dir_ / "autostart"};
  FakePrompts prompts_;
  testsupport::FakeLauncher launcher_;
  testsupport::FakeEngine engine_;
  testsupport::FakeSystemTimes times_;
  testsupport::FakeCameras cameras_;
  testsupport::FakeNotifier notifier_;
  size_t debugStart_ = 0;
};

}  // namespace testsupport
