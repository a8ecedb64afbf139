#include "StdStreamCapture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "Processes.h"

namespace testsupport {

StdStreamCapture::StdStreamCapture() {
  static int counter = 0;
  const std::string base = "/tmp/orvex-std-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  outPath_ = base + ".out";
  errPath_ = base + ".err";
  std::fflush(stdout);
  std::fflush(stderr);
  savedOut_ = ::dup(STDOUT_FILENO);
  savedErr_ = ::dup(STDERR_FILENO);
  const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ::dup2(out, STDOUT_FILENO);
  ::dup2(err, STDERR_FILENO);
  ::close(out);
  ::close(err);
}

void StdStreamCapture::Restore() {
  if (savedOut_ < 0) return;
  std::fflush(stdout);
  std::fflush(stderr);
  ::dup2(savedOut_, STDOUT_FILENO);
  ::dup2(savedErr_, STDERR_FILENO);
  ::close(savedOut_);
  ::close(savedErr_);
  savedOut_ = savedErr_ = -1;
}

StdStreamCapture::~StdStreamCapture() {
  Restore();
  ::unlink(outPath_.c_str());
  ::unlink(errPath_.c_str());
}

std::string StdStreamCapture::Out() {
  Restore();
  return ReadFile(outPath_);
}

std::string StdStreamCapture::Err() {
  Restore();
  return ReadFile(errPath_);
}

}  // namespace testsupport
