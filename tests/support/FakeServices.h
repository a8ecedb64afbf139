// Stand-ins for the main window's outside world: a desktop launcher that
// remembers what it was asked to open, fed system times and camera controls.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/CameraControls.h"
#include "platform/DesktopLauncher.h"
#include "platform/Notifier.h"
#include "platform/SystemTimes.h"

namespace testsupport {

class FakeLauncher : public orvex::DesktopLauncher {
 public:
  bool Open(const std::string& urlOrPath) override {
    opened.push_back(urlOrPath);
    return true;
  }
  bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override {
    started.push_back({program, arguments});
    return startSucceeds;
  }
  std::string FindProgram(const std::string& name) override {
    const auto found = programs.find(name);
    return found == programs.end() ? "" : found->second;
  }
  struct Start {
    std::string program;
    std::vector<std::string> arguments;
  };
  std::vector<std::string> opened;
  std::vector<Start> started;
  std::map<std::string, std::string> programs;  // name -> path found on PATH
  bool startSucceeds = true;
};

class FakeSystemTimes : public orvex::SystemTimesSource {
 public:
  orvex::SystemTimes Read() override {
    if (samples.empty()) return {};
    const orvex::SystemTimes sample = samples.front();
    if (samples.size() > 1) samples.pop_front();
    return sample;
  }
  std::deque<orvex::SystemTimes> samples;
};

class FakeCameras : public orvex::CameraControls {
 public:
  std::optional<std::string> FindCamera(const std::string& name) override {
    const auto found = devices.find(name);
    if (found == devices.end()) return std::nullopt;
    return found->second;
  }
  orvex::CameraControlList ReadControls(const std::string& device) override { return list; }
  bool SetControl(const std::string& device, uint32_t id, int value) override {
    set.push_back({id, value});
    return true;
  }
  std::map<std::string, std::string> devices;  // camera name -> device
  orvex::CameraControlList list;
  std::vector<std::pair<uint32_t, int>> set;
};

class FakeNotifier : public orvex::Notifier {
 public:
  void ShowBalloon(const std::string& title, const std::string& text, Icon icon, int timeoutMs) override {
    balloons.push_back({title, text, icon, timeoutMs});
  }
  struct Balloon {
    std::string title, text;
    Icon icon;
    int timeoutMs;
  };
  std::vector<Balloon> balloons;
};

}  // namespace testsupport
