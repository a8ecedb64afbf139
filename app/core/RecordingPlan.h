// Which engine call the options lead to: the entry point, its arguments in
// the engine's order and the debug lines sent before it. Pure: no thread,
// no window, no engine.
#pragma once

#include <string>
#include <vector>

#include "core/RecordingEngine.h"
#include "core/StreamingServers.h"

namespace orvex {

// Streaming is on but no server is enabled: a placeholder on a reserved
// documentation host.
extern const char kTestStreamUrl[];
// At most this many servers are streamed to at once.
constexpr int kMaxStreamUrls = 20;

struct RecordingOptions {
  std::string outputPath;
  bool recordAudio = false;
  std::string microphone;         // friendly name; empty: the engine's default
  std::string defaultAudioInput;  // the engine's "audio=..." for the default microphone
  bool streaming = false;         // "Enable Video Streaming", unless the schedule forbids it
  std::vector<StreamingServer> servers;
  bool musicEnabled = false;
  std::string musicPath;
  bool playback = false;  // "Play Bkg Music to the Default Playback Device"
  bool separate = false;  // UseSeparateAudioVideoRecording
  int volume = 30;
  std::string testStreamUrl = kTestStreamUrl;
};

struct EngineCall {
  EntryPoint entry = EntryPoint::RecordScreen;
  std::string outputPath, audioInput, musicPath;
  std::vector<std::string> urls;  // one for the "One" entry points
  int volume = 0;
  bool streaming = false;
  bool usesTestUrl = false;
  std::vector<std::string> debugLines;  // in the order they are sent
};

// "audio=NAME", or the default device's text when no name is set.
std::string AudioInputFor(const std::string& microphone, const std::string& defaultAudioInput);
// The server's RTMP URL, "/" and its key (an empty key keeps the "/").
std::string StreamUrl(const StreamingServer& server);

EngineCall PlanRecording(const RecordingOptions& options);

// Makes the planned call; blocks until the recording is over.
void Invoke(RecordingEngine& engine, const EngineCall& call);

// The option whose engine support is missing, as the window captions it.
std::string OptionCaption(EntryPoint entry);

}  // namespace orvex
