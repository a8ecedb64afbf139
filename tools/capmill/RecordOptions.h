// Command-line options of "capmill record", parsed without touching the engine.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace capmill::cli {

struct RecordOptions {
  std::string output;
  double seconds = 0;  // 0: until Ctrl+C or SIGTERM
  int fps = 10;
  int crf = 30;
  int width = 0;       // 0 x 0: the whole desktop at its own size
  int height = 0;
  bool audio = true;
  std::string mic;     // empty: the default microphone
  std::vector<std::string> streams;
  bool overwrite = false;    // replace an existing output file
  bool quiet = false;        // the engine's own report lines are not shown
  bool listDevices = false;  // "--list-devices": the devices command instead
  bool help = false;
};

// Parses the arguments after "record". On failure returns nothing and sets
// error to one line that says what is wrong.
std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args, std::string& error);

// An RTMP server address the engine can stream to: "rtmp://" or "rtmps://"
// and a host, with an optional port and path.
bool IsStreamUrl(const std::string& text);

// "WxH" with both sides positive and even (the encoder needs even sizes).
bool ParseSize(const std::string& text, int& width, int& height);

extern const char kRecordUsage[];
extern const char kDevicesUsage[];
extern const char kMainUsage[];

}  // namespace capmill::cli
