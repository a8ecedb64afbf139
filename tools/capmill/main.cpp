// capmill: records the desktop from scripts and servers, through the engine's
// exported functions only.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>
#include <algorithm>

#include "FileSummary.h"
#include "RecordOptions.h"
#include "capmill/capmill.h"

using namespace capmill::cli;

namespace {

constexpr int kUsageError = 2;
constexpr int kRecordingFailed = 1;
constexpr int kStreamFailed = 3;

// The command's own lines and its summary. While a recording runs, standard
// output belongs to the summary alone: the engine's lines go to standard error.
FILE* messages = stderr;
FILE* summary = stdout;

int Fail(const std::string& message, int code = kUsageError) {
  std::fprintf(messages, "capmill: %s\n", message.c_str());
  std::fflush(messages);
  return code;
}

// The engine writes its report lines to standard output and standard error:
// both go to standard error (or nowhere, quiet), while the command keeps the
// real ones for its summary and its own lines.
void SeparateEngineOutput(bool quiet) {
  std::fflush(stdout);
  std::fflush(stderr);
  const int summaryFd = ::dup(STDOUT_FILENO);
  const int messagesFd = ::dup(STDERR_FILENO);
  if (summaryFd < 0 || messagesFd < 0) return;
  ::dup2(STDERR_FILENO, STDOUT_FILENO);
  if (quiet) {
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDOUT_FILENO);
      ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  ::fcntl(summaryFd, F_SETFD, FD_CLOEXEC);
  ::fcntl(messagesFd, F_SETFD, FD_CLOEXEC);
  summary = ::fdopen(summaryFd, "w");
  messages = ::fdopen(messagesFd, "w");
  if (!summary) summary = stdout;
  if (!messages) messages = stderr;
}

std::string JsonText(const std::string& text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
      continue;
    }
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += static_cast<char>(c);
  }
  return quoted + "\"";
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Which file a path names: a new recording replaces the file, never rewrites it.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  timespec modified;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino, info.st_mtim};
}

bool WritableFolder(const std::string& folder) {
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder.c_str(), W_OK) == 0;
}

// Stops the recording after the time limit, counted from the moment the
// capture clock runs, or at SIGINT/SIGTERM, whichever comes first. The signals
// are blocked in every thread and taken here.
void WatchForStop(const sigset_t* signals, double seconds, const std::atomic<bool>* finished) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  for (;;) {
    if (*finished) return;
    if (!deadline && qelGetGlobalTimer()) {
      deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
      std::fprintf(messages, "capmill: recording\n");
      std::fflush(messages);
    }
    timespec slice{0, 20 * 1000 * 1000};
    const int signal = sigtimedwait(signals, nullptr, &slice);
    if (signal == SIGINT || signal == SIGTERM) {
      std::fprintf(messages, "capmill: stopping, finishing the file...\n");
      std::fflush(messages);
      break;
    }
    if (seconds > 0 && deadline && Clock::now() >= *deadline) break;
  }
  qelStopRecording();
}

void Record(const RecordOptions& options) {
  const std::string mic = options.mic.empty() ? qelGetDefaultAudioDeviceNameAsString() : "audio=" + options.mic;
  const char* out = options.output.c_str();
  if (options.streams.empty()) {
    if (options.audio) qelRecordScreenWithAudio(out, mic.c_str());
    else qelRecordScreen(out);
  } else {
    // The list entry point for one server too: a server that cannot be
    // reached is skipped, and the file is recorded all the same.
    std::vector<const char*> urls;
    for (const auto& url : options.streams) urls.push_back(url.c_str());
    qelRecordAndStreamDesktop(out, mic.c_str(), urls.data(), static_cast<int>(urls.size()));
  }
}

// One line per stream target, in the order given; true when all streamed to the end.
bool ReportStreams(const RecordOptions& options) {
  bool allWell = true;
  for (size_t i = 0; i < options.streams.size(); ++i) {
    double sent = 0, failedAt = 0;
    char reason[512] = {};
    const int result = qelGetStreamResult(static_cast<int>(i), &sent, &failedAt, reason, sizeof reason);
    const std::string& url = options.streams[i];
    if (result == 1) {
      std::fprintf(summary, "stream %s: sent %.1f s\n", url.c_str(), sent);
      continue;
    }
    allWell = false;
    const int at = static_cast<int>(failedAt);
    std::fprintf(summary, "stream %s: failed at %02d:%02d (sent %.1f s): %s\n", url.c_str(), at / 60, at % 60, sent,
                 result == 0 && reason[0] ? reason : "no result");
  }
  return allWell;
}

int RunDevices(const std::vector<std::string>& args);

int RunRecord(const std::vector<std::string>& args) {
  std::string error;
  const std::optional<RecordOptions> parsed = ParseRecordOptions(args, error);
  if (!parsed) return Fail(error);
  const RecordOptions& options = *parsed;
  if (options.help) {
    std::fputs(kRecordUsage, stdout);
    return 0;
  }
  if (options.listDevices) return RunDevices({});
  // The user's earlier file is never lost to a new attempt unless asked.
  struct stat existing {};
  if (!options.overwrite && ::stat(options.output.c_str(), &existing) == 0)
    return Fail("'" + options.output + "' exists; add --overwrite (-y) to replace it");
  if (!WritableFolder(FolderOf(options.output)))
    return Fail("cannot write into the folder '" + FolderOf(options.output) + "'");
  SeparateEngineOutput(options.quiet);

  qelsetFrameRate(options.fps);
  qelSetCrf(options.crf);
  qelSetVideoRes(options.width, options.height);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  // An earlier file at the path stays until the recording has something in
  // its place; it must not pass for this recording.
  const std::optional<FileIdentity> earlier = IdentityOf(options.output);
  std::atomic<bool> finished{false};
  std::thread watcher(WatchForStop, &signals, options.seconds, &finished);
  Record(options);
  finished = true;  // the watcher polls it at most 100 ms later
  watcher.join();

  const std::optional<FileIdentity> now = IdentityOf(options.output);
  if (!now || (earlier && *now == *earlier))
    return Fail("recording failed: no playable file at '" + options.output + "'", kRecordingFailed);
  const FileSummary file = SummariseFile(options.output);
  if (!file.readable || file.videoFrames == 0)
    return Fail("recording failed: no playable file at '" + options.output + "'", kRecordingFailed);
  std::fprintf(summary, "%s\n", SummaryLine(options.output, file).c_str());
  const bool streamsWell = ReportStreams(options);
  std::fflush(summary);
  // Ended early by the engine (a full disk, a lost screen): the line saying
  // why is already on standard error; the file keeps what was recorded.
  if (qelGetRecordingStopReason(nullptr, 0) > 0) return kRecordingFailed;
  return streamsWell ? 0 : kStreamFailed;
}

int RunDevices(const std::vector<std::string>& args) {
  bool json = false;
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kDevicesUsage, stdout);
      return 0;
    }
    if (arg == "--json") {
      json = true;
      continue;
    }
    return Fail("unknown argument '" + arg + "' for devices");
  }
  constexpr int kSlots = 20;
  const auto list = [](bool cameras) {
    char* names[kSlots] = {};
    const int count = cameras ? qelGetAvailableCameras(names, kSlots) : qelGetAvailableMicrophones(names, kSlots);
    std::vector<std::string> found(names, names + std::max(count, 0));
    if (count > 0) qelFreeDeviceList(names, count);
    return found;
  };
  const std::vector<std::string> microphones = list(false), cameras = list(true);
  const std::string defaultMicrophone = qelGetDefaultAudioDeviceNameAsString();
  if (json) {
    const auto array = [](const std::vector<std::string>& names) {
      std::string text = "[";
      for (size_t i = 0; i < names.size(); ++i) text += (i ? ", " : "") + JsonText(names[i]);
      return text + "]";
    };
    std::printf("{\"microphones\": %s, \"cameras\": %s, \"defaultMicrophone\": %s}\n", array(microphones).c_str(),
                array(cameras).c_str(), JsonText(defaultMicrophone).c_str());
    return 0;
  }
  std::printf("Microphones:\n");
  for (const std::string& name : microphones) std::printf("  %s\n", name.c_str());
  std::printf("Cameras:\n");
  for (const std::string& name : cameras) std::printf("  %s\n", name.c_str());
  std::printf("Default microphone: %s\n", defaultMicrophone.c_str());
  return 0;
}

void ReportRecovered(const char* original, const char* recovered, long packets, void*) {
  std::fprintf(stderr, "capmill: recovered an unfinished recording: %s -> %s (%ld packets)\n", original, recovered,
               packets);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kMainUsage, stderr);
    return kUsageError;
  }
  // A file size limit must end the recording cleanly through a refused
  // write, not kill the process with the file unfinished.
  ::signal(SIGXFSZ, SIG_IGN);
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kMainUsage, stdout);
    return 0;
  }
  if (command != "record" && command != "devices")
    return Fail("unknown command '" + command + "' (try capmill --help)");
  // Recordings an earlier run left unfinished (a crash, a power loss).
  qelRecoverUnfinishedRecordings(ReportRecovered, nullptr);
  if (command == "record") return RunRecord(args);
  if (command == "devices") return RunDevices(args);
  return Fail("unknown command '" + command + "' (try capmill --help)");
}
