#include "Fixtures.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace testsupport {
namespace {

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

constexpr auto kStartTimeout = std::chrono::milliseconds(10000);

}  // namespace

std::string MissingDesktopTools() {
  for (const char* tool : {"Xvfb", "xdpyinfo", "xdotool"})
    if (!HaveProgram(tool)) return std::string(tool) + " is not installed (run tools/install-deps.sh)";
  if (!FileExists(ORVEX_MOVING_DESKTOP)) return std::string(ORVEX_MOVING_DESKTOP) + " is not built";
  return "";
}

std::string MissingTrayTools() {
  if (!HaveProgram("trayer")) return "trayer is not installed (run tools/install-deps.sh)";
  return MissingDesktopTools();
}

std::string MissingAudioTools() {
  for (const char* tool : {"pulseaudio", "pactl"})
    if (!HaveProgram(tool)) return std::string(tool) + " is not installed (run tools/install-deps.sh)";
  return "";
}

std::string MissingRtmpTools() {
  if (!HaveProgram("nginx")) return "nginx is not installed (run tools/install-deps.sh)";
  if (!FileExists("/usr/lib/nginx/modules/ngx_rtmp_module.so")) return "the nginx RTMP module is not installed";
  return "";
}

VirtualDesktop::VirtualDesktop(int width, int height, bool movingContent) {
  if (const char* previous = ::getenv("DISPLAY")) previousDisplay_ = previous;
  for (int number = 90 + (::getpid() % 400); number < 1000 && !ok_; number += 7) {
    if (FileExists("/tmp/.X11-unix/X" + std::to_string(number)) || FileExists("/tmp/.X" + std::to_string(number) + "-lock"))
      continue;
    display_ = ":" + std::to_string(number);
    server_ = ChildProcess({"Xvfb", display_, "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24",
                            "-nolisten", "tcp"});
    ok_ = WaitUntil([this] { return RunCommand("DISPLAY=" + display_ + " xdpyinfo >/dev/null") == 0 || !server_.Running(); },
                    kStartTimeout) &&
          server_.Running();
  }
  if (!ok_) return;
  ::setenv("DISPLAY", display_.c_str(), 1);
  // Started again once if its window does not show: a still desktop would
  // pass for moving content and mislead every measurement made on it.
  for (int attempt = 0; movingContent && attempt < 2; ++attempt) {
    content_ = ChildProcess({ORVEX_MOVING_DESKTOP}, {"DISPLAY=" + display_});
    // Wait until its window is mapped, so the first frames already move.
    const bool shown = WaitUntil(
        [this] { return RunCommand("DISPLAY=" + display_ + " xdotool search --onlyvisible --name . >/dev/null") == 0; },
        kStartTimeout);
    if (shown && content_.Running()) break;
    std::fprintf(stderr, "VirtualDesktop: the moving content did not show on %s (attempt %d)\n", display_.c_str(),
                 attempt + 1);
    content_.Stop();
    if (attempt == 1) ok_ = false;
  }
}

VirtualDesktop::~VirtualDesktop() {
  content_.Stop();
  server_.Stop();
  if (previousDisplay_.empty()) ::unsetenv("DISPLAY");
  else ::setenv("DISPLAY", previousDisplay_.c_str(), 1);
}

VirtualMicrophone::VirtualMicrophone(bool extraSource, bool withoutSinks) {
  ::chmod(runtime_.path().c_str(), 0700);  // pulseaudio insists on a private runtime folder
  server_ = runtime_.path() + "/pulse/native";
  // The microphone is a 440 Hz tone played into a silent sink and taken from
  // its monitor through a remap source: unlike module-sine-source, which hands
  // out audio in two-second blocks, it delivers small fragments in real time,
  // as a real microphone does.
  std::vector<std::string> argv = {
      "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--load=module-native-protocol-unix",
      "--load=module-null-sink sink_name=spk rate=44100",
      "--load=module-null-sink sink_name=tone rate=44100",
      "--load=module-sine sink=tone frequency=440",
      "--load=module-remap-source master=tone.monitor source_name=mic "
      "source_properties='device.description=\"Virtual Microphone\"'"};
  if (extraSource) argv.push_back("--load=module-sine-source source_name=mic2 rate=48000 frequency=880");
  // Nothing to play to: the microphone is a pipe the ffmpeg tool writes a
  // tone into in real time (a sine source would hand out two-second blocks).
  const std::string pipe = runtime_ / "mic.fifo";
  if (withoutSinks)
    argv = {"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--load=module-native-protocol-unix",
            "--load=module-pipe-source source_name=mic file=" + pipe +
                " format=s16le rate=44100 channels=1 source_properties='device.description=\"Virtual Microphone\"'"};
  daemon_ = ChildProcess(argv, {"XDG_RUNTIME_DIR=" + runtime_.path(), "HOME=" + runtime_.path()},
                         runtime_ / "pulse.log");
  ok_ = WaitUntil([this] { return FileExists(server_) && Pactl("info >/dev/null") == "ok"; }, kStartTimeout);
  if (ok_) {
    Pactl("set-default-source mic");
    ::setenv("PULSE_SERVER", ("unix:" + server_).c_str(), 1);
    if (withoutSinks) {
      listener_ = ChildProcess({"ffmpeg", "-nostdin", "-v", "error", "-re", "-f", "lavfi", "-i",
                                "sine=frequency=440:sample_rate=44100", "-f", "s16le", "-ac", "1", "-y", pipe});
      return;
    }
    // Whatever plays goes to the silent sink, never into the microphone's.
    Pactl("set-default-sink spk");
    // A null sink nobody listens to closely renders in blocks of up to two
    // seconds, so the first recording stream on it would wait that long for
    // sound. A quiet listener keeps it rendering in small steps, so the
    // microphone answers at once, as a real one does.
    listener_ = ChildProcess({"parec", "--raw", "--latency-msec=20", "-d", "tone.monitor"},
                             {"PULSE_SERVER=unix:" + server_}, "/dev/null");
    // The same for the playback sink, whose monitor tests record.
    speakerListener_ = ChildProcess({"parec", "--raw", "--latency-msec=20", "-d", "spk.monitor"},
                                    {"PULSE_SERVER=unix:" + server_}, "/dev/null");
    // The sink takes up the small steps when its current block ends.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  }
}

VirtualMicrophone::~VirtualMicrophone() {
  ::unsetenv("PULSE_SERVER");
  listener_.Stop();
  speakerListener_.Stop();
  daemon_.Stop();
}

std::string VirtualMicrophone::Pactl(const std::string& arguments) const {
  std::string output;
  const int status = RunCommand("PULSE_SERVER=unix:" + server_ + " pactl " + arguments, &output);
  return status == 0 ? (output.empty() ? "ok" : output) : "";
}

std::string VirtualMicrophone::Description(const std::string& sourceName) const {
  const std::string listing = Pactl("list sources");
  const size_t at = listing.find("Name: " + sourceName + "\n");
  if (at == std::string::npos) return "";
  const size_t description = listing.find("Description: ", at);
  if (description == std::string::npos) return "";
  const size_t start = description + 13;
  return listing.substr(start, listing.find('\n', start) - start);
}

RtmpServer::RtmpServer() {
  port_ = FreeLoopbackPort();
  const std::string config = root_ / "nginx.conf";
  std::ofstream(config) << "load_module /usr/lib/nginx/modules/ngx_rtmp_module.so;\n"
                        << "daemon off;\nmaster_process on;\nworker_processes 1;\n"
                        << "pid " << (root_ / "nginx.pid") << ";\n"
                        << "error_log " << (root_ / "error.log") << " info;\n"
                        << "events { worker_connections 64; }\n"
                        << "rtmp { server { listen 127.0.0.1:" << port_ << "; chunk_size 4096;\n"
                        << "  application live { live on; record all; record_path " << records_.path()
                        << "; record_unique off; } } }\n";
  Start();
}

bool RtmpServer::Start() {
  master_ = ChildProcess({"nginx", "-p", root_.path(), "-c", root_ / "nginx.conf"}, {}, root_ / "stdout.log");
  ok_ = WaitUntil([this] { return RunCommand("bash -c 'exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port_) + "'") == 0; },
                  kStartTimeout);
  return ok_;
}

void RtmpServer::Stop() {
  Thaw();
  master_.Stop();
}

void RtmpServer::Freeze() {
  if (master_.pid() > 0) ::kill(-master_.pid(), SIGSTOP);
}

void RtmpServer::Thaw() {
  if (master_.pid() > 0) ::kill(-master_.pid(), SIGCONT);
}

RtmpServer::~RtmpServer() {
  Thaw();  // a stopped process would not see the request to end
  // The master's group holds its worker too: both stop together.
  master_.Stop();
}

std::string RtmpServer::Url(const std::string& key) const {
  return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + key;
}

TrayHost::TrayHost() {
  process_ = ChildProcess({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
  ok_ = WaitUntil([this] { return !PanelWindow().empty() || !process_.Running(); }, kStartTimeout) && process_.Running();
}

TrayHost::~TrayHost() { process_.Stop(); }

std::string TrayHost::PanelWindow() const {
  std::string tree;
  if (RunCommand("xwininfo -root -tree", &tree) != 0) return "";
  std::istringstream lines(tree);
  std::string line;
  while (std::getline(lines, line))
    if (line.find("\"panel\": (\"panel\" \"trayer\")") != std::string::npos) {
      std::istringstream fields(line);
      std::string id;
      fields >> id;
      return id;
    }
  return "";
}

bool TrayHost::Docked(const std::string& program) const {
  const std::string panel = PanelWindow();
  std::string children;
  if (panel.empty() || RunCommand("xwininfo -tree -id " + panel, &children) != 0) return false;
  // Icons sit in an embedding window of the panel; their window is named after the program.
  return children.find("\"" + program + "\": (") != std::string::npos;
}

}  // namespace testsupport
