// What libcapmill.so writes to standard output, standard error and its debug
// channel, for tests that drive the library through its exports.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "RecordingEnvironment.h"
#include "StdStreamCapture.h"
#include "capmill/capmill.h"

namespace testsupport {

// The library's debug channel goes to the file ORVEX_DEBUG_LOG names, opened
// at its first line: named, and opened with a first line, before anything is
// recorded or counted.
inline const std::string& DebugLogPath() {
  static const std::string path = [] {
    const std::string file = std::filesystem::temp_directory_path() / ("capmill-debug-" + std::to_string(::getpid()));
    ::setenv("ORVEX_DEBUG_LOG", file.c_str(), 1);
    qelPlayMusicToDefaultDevice(nullptr, 0, nullptr, nullptr);
    return file;
  }();
  return path;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// What the library writes to its three channels, from construction until
// Finish (test failures print on standard output: finish before checking).
class Logs {
 public:
  Logs() : streams_(std::make_unique<StdStreamCapture>()), debugFrom_(ReadAll(DebugLogPath()).size()) {}
  void Finish() {
    if (!streams_) return;
    out_ = streams_->Out();
    err_ = streams_->Err();
    debug_ = ReadAll(DebugLogPath()).substr(debugFrom_);
    streams_.reset();
  }
  const std::string& Out() { return Finish(), out_; }
  const std::string& Err() { return Finish(), err_; }
  const std::string& Debug() { return Finish(), debug_; }

 private:
  std::unique_ptr<StdStreamCapture> streams_;
  size_t debugFrom_;
  std::string out_, err_, debug_;
};

// A suite recording through the library at 10 frames per second in 640x480,
// with the debug channel read from its file.
class LibraryRecordingSuite : public RecordingSuite<640, 480> {
 protected:
  static void SetUpTestSuite() {
    DebugLogPath();
    RecordingSuite::SetUpTestSuite();
  }
  void SetUp() override {
    RecordingSuite::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qelsetFrameRate(10);
    qelSetVideoRes(640, 480);
  }
};

}  // namespace testsupport
