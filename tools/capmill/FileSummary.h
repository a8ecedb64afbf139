// A one-line description of a recorded file, read back with the media library.
#pragma once

#include <string>

namespace capmill::cli {

struct FileSummary {
  bool readable = false;
  double durationSeconds = 0;
  std::string videoCodec;
  int width = 0, height = 0;
  long videoFrames = 0;
  std::string audioCodec;
  int sampleRate = 0;
  long audioPackets = 0;
  long long bytes = 0;
};

FileSummary SummariseFile(const std::string& path);
std::string SummaryLine(const std::string& path, const FileSummary& summary);

}  // namespace capmill::cli
