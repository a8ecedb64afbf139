// Redirects the process's real standard output and error to files.
#pragma once

#include <string>

namespace testsupport {

// Redirects the process's real standard output and error to files while it lives.
class StdStreamCapture {
 public:
  StdStreamCapture();
  ~StdStreamCapture();
  std::string Out();
  std::string Err();

 private:
  void Restore();
  int savedOut_ = -1, savedErr_ = -1;
  std::string outPath_, errPath_;
};

}  // namespace testsupport
