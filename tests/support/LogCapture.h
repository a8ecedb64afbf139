// Captures the engine's three log sinks (standard output, standard error and
// the debug channel) while it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/Log.h"

namespace testsupport {

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::string Text(capmill::log::Sink sink) const;
  std::string Out() const { return Text(capmill::log::Sink::StdOut); }
  std::string Err() const { return Text(capmill::log::Sink::StdErr); }
  std::string Debug() const { return Text(capmill::log::Sink::Debug); }
  // Number of times the text occurs in the sink.
  int Count(capmill::log::Sink sink, const std::string& text) const;

 private:
  mutable std::mutex lock_;
  std::string texts_[3];
};

}  // namespace testsupport
