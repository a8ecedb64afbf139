// The real outside world of the main window, owned in one place: the
// program and the picture tool make the same set.
#pragma once

#include <string>

#include "core/CapmillEngine.h"
#include "core/MainDialog.h"
#include "platform/CameraControls.h"
#include "platform/DesktopLauncher.h"
#include "platform/KeepAwake.h"
#include "platform/RegistryStore.h"
#include "platform/SystemTimes.h"
#include "platform/SingleInstance.h"
#include "platform/UserPrompts.h"

namespace orvex {

struct RealServices {
  RegistryStore store = RegistryStore::ForCurrentUser();
  MessageBoxPrompts prompts{nullptr};
  QtDesktopLauncher launcher;
  CapmillEngine engine;
  ProcSystemTimes systemTimes;
  V4l2CameraControls cameras;
  SingleInstance instance;
  LogindKeepAwake keepAwake;

  // Balloons go to the window's own tray icon.
  MainWindowServices ForWindow(const std::string& programPath, std::vector<std::string> arguments = {}) {
    return {store,    prompts, launcher, engine, systemTimes, cameras, nullptr, &instance, programPath, std::move(arguments),
            &keepAwake};
  }
};

}  // namespace orvex
