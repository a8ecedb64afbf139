// Real helpers for tests: a private X display, a private PulseAudio server
// with a virtual microphone, and a private nginx RTMP server.
#pragma once

#include <memory>
#include <string>

#include "Processes.h"

namespace testsupport {

// A private Xvfb display. Sets DISPLAY for this process while it lives.
class VirtualDesktop {
 public:
  // Starts Xvfb at the size; with movingContent the screen scrolls and changes
  // every frame (tools/moving-desktop).
  VirtualDesktop(int width, int height, bool movingContent);
  ~VirtualDesktop();
  bool ok() const { return ok_; }
  const std::string& display() const { return display_; }
  // Ends the display server as a crash would.
  void KillServer() { server_.Kill(); }

 private:
  bool ok_ = false;
  std::string display_;
  std::string previousDisplay_;
  ChildProcess server_;
  ChildProcess content_;
};

// A private PulseAudio server whose source "mic" ("Virtual Microphone")
// delivers a 440 Hz tone; "spk" is the default playback sink, silent. Points
// this process's clients at it while it lives.
class VirtualMicrophone {
 public:
  // extraSource: also load a sine source ("mic2", 880 Hz at 48 kHz).
  // withoutSinks: a server with nothing to play to, whose microphone is a
  // pipe the ffmpeg tool writes a 440 Hz tone into.
  explicit VirtualMicrophone(bool extraSource = false, bool withoutSinks = false);
  ~VirtualMicrophone();
  bool ok() const { return ok_; }
  // The microphone's friendly name, as the device list shows it.
  std::string Description(const std::string& sourceName = "mic") const;
  std::string Pactl(const std::string& arguments) const;

 private:
  bool ok_ = false;
  TempDir runtime_;
  std::string server_;
  ChildProcess daemon_;
  ChildProcess listener_;
  ChildProcess speakerListener_;
};

// A private nginx with the RTMP module on a free loopback port, recording
// every published stream to a folder as "<key>.flv".
class RtmpServer {
 public:
  RtmpServer();
  ~RtmpServer();
  bool ok() const { return ok_; }
  // rtmp://127.0.0.1:PORT/live/<key>
  std::string Url(const std::string& key) const;
  std::string RecordedFile(const std::string& key) const { return records_ / (key + ".flv"); }
  int port() const { return port_; }
  // Stops (SIGSTOP) or continues the master and its worker: a server that
  // stops reading without closing anything.
  void Freeze();
  void Thaw();
  // Ends the server, as a crash or a restart would, and starts it again on
  // the same port and folder.
  void Stop();
  bool Start();

 private:
  bool ok_ = false;
  int port_ = 0;
  TempDir root_;
  TempDir records_;
  ChildProcess master_;
};

// A notification-area host (trayer) on the current display, so tray icons
// dock and balloons show. Qt must use the X11 tray protocol: the program
// under test runs without a D-Bus session bus.
class TrayHost {
 public:
  TrayHost();
  ~TrayHost();
  bool ok() const { return ok_; }
  // The host's panel window, which docked icons become children of.
  std::string PanelWindow() const;
  // Whether an icon of the named program is docked in the panel.
  bool Docked(const std::string& program) const;
  void Stop() { process_.Stop(); }

 private:
  bool ok_ = false;
  ChildProcess process_;
};

// Why the real helpers cannot run here, or empty when they can.
std::string MissingDesktopTools();
std::string MissingAudioTools();
std::string MissingRtmpTools();
std::string MissingTrayTools();

}  // namespace testsupport
