// capmill: records the desktop from scripts and servers, through the engine's
// exported functions only.
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

#include "FileSummary.h"
#include "RecordOptions.h"
#include "capmill/capmill.h"

using namespace capmill::cli;

namespace {

constexpr int kUsageError = 2;
constexpr int kRecordingFailed = 1;

int Fail(const std::string& message, int code = kUsageError) {
  std::fprintf(stderr, "capmill: %s\n", message.c_str());
  return code;
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
      std::fprintf(stderr, "capmill: recording\n");
    }
    timespec slice{0, 20 * 1000 * 1000};
    const int signal = sigtimedwait(signals, nullptr, &slice);
    if (signal == SIGINT || signal == SIGTERM) {
      std::fprintf(stderr, "capmill: stopping, finishing the file...\n");
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
  } else if (options.streams.size() == 1) {
    qelRecordAndStreamDesktopOne(mic.c_str(), out, options.streams[0].c_str());
  } else {
    std::vector<const char*> urls;
    for (const auto& url : options.streams) urls.push_back(url.c_str());
    qelRecordAndStreamDesktop(out, mic.c_str(), urls.data(), static_cast<int>(urls.size()));
  }
}

int RunRecord(const std::vector<std::string>& args) {
  std::string error;
  const std::optional<RecordOptions> parsed = ParseRecordOptions(args, error);
  if (!parsed) return Fail(error);
  const RecordOptions& options = *parsed;
  if (options.help) {
    std::fputs(kRecordUsage, stdout);
    return 0;
  }
  if (!WritableFolder(FolderOf(options.output)))
    return Fail("cannot write into the folder '" + FolderOf(options.output) + "'");

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
  const FileSummary summary = SummariseFile(options.output);
  if (!summary.readable || summary.videoFrames == 0)
    return Fail("recording failed: no playable file at '" + options.output + "'", kRecordingFailed);
  std::printf("%s\n", SummaryLine(options.output, summary).c_str());
  // Ended early by the engine (a full disk, a lost screen): the line saying
  // why is already on standard error; the file keeps what was recorded.
  return qelGetRecordingStopReason(nullptr, 0) > 0 ? kRecordingFailed : 0;
}

int RunDevices(const std::vector<std::string>& args) {
  for (const auto& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kDevicesUsage, stdout);
      return 0;
    }
    return Fail("unknown argument '" + arg + "' for devices");
  }
  constexpr int kSlots = 20;
  char* names[kSlots] = {};
  const int microphones = qelGetAvailableMicrophones(names, kSlots);
  std::printf("Microphones:\n");
  for (int i = 0; i < microphones; ++i) std::printf("  %s\n", names[i]);
  qelFreeDeviceList(names, microphones);
  const int cameras = qelGetAvailableCameras(names, kSlots);
  std::printf("Cameras:\n");
  for (int i = 0; i < cameras; ++i) std::printf("  %s\n", names[i]);
  qelFreeDeviceList(names, cameras);
  std::printf("Default microphone: %s\n", qelGetDefaultAudioDeviceNameAsString().c_str());
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
