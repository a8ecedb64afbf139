#include "RecordOptions.h"

#include <cerrno>
#include <cstdlib>

namespace capmill::cli {

const char kMainUsage[] =
    "usage: capmill <command> [options]\n"
    "commands:\n"
    "  record OUT.mp4   record the desktop (and a microphone) to a file\n"
    "  devices          list microphones, cameras and the default microphone\n"
    "Run 'capmill <command> --help' for the command's options.\n";

const char kRecordUsage[] =
    "usage: capmill record OUT.mp4 [--seconds N] [--fps N] [--crf N] [--size WxH]\n"
    "                      [--mic NAME | --no-audio] [--stream URL]...\n"
    "Records until N seconds have passed, or until Ctrl+C or SIGTERM.\n"
    "  --seconds N   stop after N seconds (default: run until interrupted)\n"
    "  --fps N       frames per second, 1-120 (default 10)\n"
    "  --crf N       quality, 0-51, lower is better (default 30)\n"
    "  --size WxH    encoded size (default: the desktop's own size)\n"
    "  --mic NAME    microphone name as 'capmill devices' lists it (default: the default microphone)\n"
    "  --no-audio    record the screen only\n"
    "  --stream URL  also stream live to URL (repeatable; needs audio)\n";

const char kDevicesUsage[] =
    "usage: capmill devices\n"
    "Lists the microphones, the cameras and the default microphone.\n";

namespace {

bool ParseInt(const std::string& text, long low, long high, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno || *end || parsed < low || parsed > high) return false;
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int w = 0, h = 0;
  if (!ParseInt(text.substr(0, x), 2, 16384, w) || !ParseInt(text.substr(x + 1), 2, 16384, h)) return false;
  if (w % 2 || h % 2) return false;
  width = w;
  height = h;
  return true;
}

std::optional<RecordOptions> ParseRecordOptions(const std::vector<std::string>& args, std::string& error) {
  RecordOptions options;
  bool micGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      return options;
    } else if (arg == "--seconds") {
      if (!value(text)) return std::nullopt;
      char* end = nullptr;
      options.seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end || !(options.seconds > 0) || options.seconds > 86400 * 7) {
        error = "--seconds takes a positive number of seconds, not '" + text + "'";
        return std::nullopt;
      }
    } else if (arg == "--fps") {
      if (!value(text)) return std::nullopt;
      if (!ParseInt(text, 1, 120, options.fps)) {
        error = "--fps takes a whole number from 1 to 120, not '" + text + "'";
        return std::nullopt;
      }
    } else if (arg == "--crf") {
      if (!value(text)) return std::nullopt;
      if (!ParseInt(text, 0, 51, options.crf)) {
        error = "--crf takes a whole number from 0 to 51, not '" + text + "'";
        return std::nullopt;
      }
    } else if (arg == "--size") {
      if (!value(text)) return std::nullopt;
      if (!ParseSize(text, options.width, options.height)) {
        error = "--size takes WxH with even positive sides (e.g. 1280x720), not '" + text + "'";
        return std::nullopt;
      }
    } else if (arg == "--mic") {
      if (!value(options.mic)) return std::nullopt;
      micGiven = true;
    } else if (arg == "--no-audio") {
      options.audio = false;
    } else if (arg == "--stream") {
      if (!value(text)) return std::nullopt;
      options.streams.push_back(text);
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option '" + arg + "'";
      return std::nullopt;
    } else if (options.output.empty()) {
      options.output = arg;
    } else {
      error = "unexpected argument '" + arg + "' (one output file only)";
      return std::nullopt;
    }
  }
  if (options.output.empty()) {
    error = "no output file given (capmill record OUT.mp4)";
    return std::nullopt;
  }
  if (micGiven && !options.audio) {
    error = "--mic and --no-audio exclude each other";
    return std::nullopt;
  }
  if (!options.streams.empty() && !options.audio) {
    error = "--stream needs audio: drop --no-audio";
    return std::nullopt;
  }
  return options;
}

}  // namespace capmill::cli
