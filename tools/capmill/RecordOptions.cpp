#include "RecordOptions.h"

#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace capmill::cli {

const char kMainUsage[] =
    "usage: capmill <command> [options]\n"
    "commands:\n"
    "  record OUT.mp4   record the desktop (and a microphone) to a file\n"
    "  devices          list microphones, cameras and the default microphone\n"
    "Run 'capmill <command> --help' for the command's options.\n";

const char kRecordUsage[] =
    "usage: capmill record OUT.mp4 [--seconds N] [--fps N] [--crf N] [--size WxH]\n"
    "                      [--mic NAME | --no-audio] [--stream URL]... [--overwrite] [--quiet]\n"
    "       capmill record --list-devices\n"
    "Records until N seconds have passed, or until Ctrl+C or SIGTERM.\n"
    "Standard output holds one summary line for the file and one per stream; the\n"
    "engine's report lines go to standard error. Exit codes: 0 all went well,\n"
    "3 the file is complete but a stream failed, 1 the recording failed, 2 usage.\n"
    "  --seconds N   stop after N seconds (default: run until interrupted)\n"
    "  --fps N       frames per second, 1-120 (default 10)\n"
    "  --crf N       quality, 0-51, lower is better (default 30)\n"
    "  --size WxH    encoded size (default: the desktop's own size)\n"
    "  --mic NAME    microphone name as 'capmill devices' lists it (default: the default microphone)\n"
    "  --no-audio    record the screen only\n"
    "  --stream URL  also stream live to an rtmp:// or rtmps:// URL (repeatable; needs\n"
    "                audio); a server that cannot be reached never costs the file\n"
    "  --overwrite, -y  replace OUT.mp4 when it exists (default: keep it and stop)\n"
    "  --quiet, -q   no engine report lines, only the summary and errors\n"
    "  --list-devices  the same as 'capmill devices'\n";

const char kDevicesUsage[] =
    "usage: capmill devices [--json]\n"
    "Lists the microphones, the cameras and the default microphone; --json prints one\n"
    "JSON object {\"microphones\": [...], \"cameras\": [...], \"defaultMicrophone\": \"...\"}.\n";

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

bool IsStreamUrl(const std::string& text) {
  std::string rest;
  for (const char* scheme : {"rtmp://", "rtmps://"}) {
    const size_t length = std::strlen(scheme);
    if (text.size() > length && ::strncasecmp(text.c_str(), scheme, length) == 0) rest = text.substr(length);
  }
  const std::string host = rest.substr(0, rest.find_first_of(":/"));
  if (host.empty()) return false;
  for (unsigned char c : host)
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_' && c != '[' && c != ']') return false;
  return true;
}

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
      // A mistyped address must not become a local file of that name.
      if (!IsStreamUrl(text)) {
        error = "--stream takes an rtmp:// or rtmps:// URL with a host, not '" + text + "'";
        return std::nullopt;
      }
      options.streams.push_back(text);
    } else if (arg == "--overwrite" || arg == "-y") {
      options.overwrite = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.quiet = true;
    } else if (arg == "--list-devices") {
      options.listDevices = true;
      return options;
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
