// The main of tests that put the application's windows on a virtual desktop:
// the display and the microphone exist before the application connects, and
// the debug channel goes to a file the tests read back.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "RecordingEnvironment.h"

namespace testsupport {

inline int RunOnVirtualDesktop(int argc, char** argv, int width, int height, const std::string& debugLog) {
  ::setenv("ORVEX_DEBUG_LOG", debugLog.c_str(), 1);
  ::testing::InitGoogleTest(&argc, argv);
  RecordingEnvironment::Start(width, height);
  int result = 0;
  {
    const bool haveDisplay =
        RecordingEnvironment::Get().skipReason.empty() && RecordingEnvironment::Get().failure.empty();
    // Without a display the cases skip or fail by themselves; the windows still need a platform.
    ::setenv("QT_QPA_PLATFORM", haveDisplay ? "xcb" : "offscreen", 1);
    QApplication application(argc, argv);
    result = RUN_ALL_TESTS();
  }
  RecordingEnvironment::Stop();
  std::remove(debugLog.c_str());
  return result;
}

}  // namespace testsupport
