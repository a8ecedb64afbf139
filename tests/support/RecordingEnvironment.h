// A virtual desktop with moving content and a virtual microphone, shared by
// the tests of one suite.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "Fixtures.h"

namespace testsupport {

class RecordingEnvironment {
 public:
  // Starts both helpers (or records why it cannot). withoutSinks: a sound
  // server with a microphone and nothing to play to.
  static void Start(int width = 1280, int height = 720, bool extraSource = false, bool withoutSinks = false) {
    Get().skipReason = MissingDesktopTools();
    if (Get().skipReason.empty()) Get().skipReason = MissingAudioTools();
    if (!Get().skipReason.empty()) return;
    Get().desktop = std::make_unique<VirtualDesktop>(width, height, true);
    Get().mic = std::make_unique<VirtualMicrophone>(extraSource, withoutSinks);
    if (!Get().desktop->ok()) Get().failure = "the virtual desktop did not start";
    else if (!Get().mic->ok()) Get().failure = "the virtual microphone did not start";
  }
  static void Stop() {
    Get().mic.reset();
    Get().desktop.reset();
  }
  // "audio=" + the virtual microphone's friendly name.
  static std::string MicInput() { return "audio=" + Get().mic->Description(); }

  std::string skipReason;
  std::string failure;
  std::unique_ptr<VirtualDesktop> desktop;
  std::unique_ptr<VirtualMicrophone> mic;
  static RecordingEnvironment& Get() {
    static RecordingEnvironment environment;
    return environment;
  }
};

}  // namespace testsupport

namespace testsupport {

// A test suite that shares one virtual desktop of the given size and one
// virtual microphone; each test skips or fails as REQUIRE_RECORDING_ENVIRONMENT says.
template <int Width, int Height>
class RecordingSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RecordingEnvironment::Start(Width, Height); }
  static void TearDownTestSuite() { RecordingEnvironment::Stop(); }
  void SetUp() override;
};

}  // namespace testsupport

// Skips only when the helper programs are not installed; a helper that is
// installed but does not start is a failure.
#define REQUIRE_RECORDING_ENVIRONMENT()                                                         \
  do {                                                                                          \
    if (!testsupport::RecordingEnvironment::Get().skipReason.empty())                           \
      GTEST_SKIP() << testsupport::RecordingEnvironment::Get().skipReason;                      \
    ASSERT_TRUE(testsupport::RecordingEnvironment::Get().failure.empty())                       \
        << testsupport::RecordingEnvironment::Get().failure;                                    \
  } while (0)

template <int Width, int Height>
void testsupport::RecordingSuite<Width, Height>::SetUp() {
  REQUIRE_RECORDING_ENVIRONMENT();
}
