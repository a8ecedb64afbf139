#include "LogCapture.h"

namespace testsupport {

LogCapture::LogCapture() {
  capmill::log::SetCapture([this](capmill::log::Sink sink, std::string_view text) {
    std::lock_guard<std::mutex> hold(lock_);
    texts_[static_cast<int>(sink)].append(text);
  });
}

LogCapture::~LogCapture() { capmill::log::SetCapture({}); }

std::string LogCapture::Text(capmill::log::Sink sink) const {
  std::lock_guard<std::mutex> hold(lock_);
  return texts_[static_cast<int>(sink)];
}

int LogCapture::Count(capmill::log::Sink sink, const std::string& text) const {
  const std::string all = Text(sink);
  int count = 0;
  for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size())) ++count;
  return count;
}

}  // namespace testsupport
