#include "core/RecordingPlan.h"

#include "platform/DebugChannel.h"

namespace orvex {

const char kTestStreamUrl[] = "rtmp://live.example.com/live/test";

namespace {

bool HasMusic(const RecordingOptions& options) { return options.musicEnabled && !options.musicPath.empty(); }

void PlanFileOnly(const RecordingOptions& options, EngineCall& call) {
  if (!options.recordAudio) {
    call.entry = EntryPoint::RecordScreen;
    return;
  }
  call.audioInput = AudioInputFor(options.microphone, options.defaultAudioInput);
  call.debugLines.push_back(Printf("Recording with microphone: %s\n", call.audioInput.c_str()));
  if (!HasMusic(options)) {
    if (options.separate) {
      call.debugLines.push_back("EXPERIMENTAL: Using separate video/audio recording with timestamp sync\n");
      call.entry = EntryPoint::RecordScreenWithAudioSeparate;
    } else {
      call.entry = EntryPoint::RecordScreenWithAudio;
    }
    return;
  }
  call.musicPath = options.musicPath;
  call.volume = options.volume;
  call.debugLines.push_back(
      Printf("Recording with background music: %s (Volume: %d%%)\n", call.musicPath.c_str(), call.volume));
  if (options.separate && options.playback) {
    call.debugLines.push_back(Printf(
        "EXPERIMENTAL: Using separate video/audio recording with music and playback device (Volume: %d%%)\n", call.volume));
    call.entry = EntryPoint::RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate;
  } else if (options.separate) {
    call.debugLines.push_back(Printf("EXPERIMENTAL: Using separate video/audio recording with music (Volume: %d%%)\n", call.volume));
    call.entry = EntryPoint::RecordScreenWithAudioAndMusicSeparate;
  } else if (options.playback) {
    call.debugLines.push_back(Printf("Using recording with background music and playback device (Volume: %d%%)\n", call.volume));
    call.entry = EntryPoint::RecordScreenWithAudioAndMusicWithDefaultDevPlayback;
  } else {
    call.entry = EntryPoint::RecordScreenWithAudioAndMusic;
  }
}

// The music variants' suffix, shared by the debug lines of every URL count.
const char* MusicVariantText(bool playback, bool separate) {
  if (playback && separate) return "with music, playback device and separate files\n";
  if (separate) return "with music and separate files\n";
  if (playback) return "with music and playback device\n";
  return "with music\n";
}

EntryPoint StreamEntry(bool many, bool music, bool playback, bool separate) {
  if (!music) {
    if (many) return separate ? EntryPoint::RecordAndStreamDesktopSeparate : EntryPoint::RecordAndStreamDesktop;
    return separate ? EntryPoint::RecordAndStreamDesktopOneSeparate : EntryPoint::RecordAndStreamDesktopOne;
  }
  if (many) {
    if (playback) return separate ? EntryPoint::RecordAndStreamDesktopWithMusicAndPlaybackSeparate
                                  : EntryPoint::RecordAndStreamDesktopWithMusicAndPlayback;
    return separate ? EntryPoint::RecordAndStreamDesktopWithMusicSeparate : EntryPoint::RecordAndStreamDesktopWithMusic;
  }
  if (playback) return separate ? EntryPoint::RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate
                                : EntryPoint::RecordAndStreamDesktopOneWithMusicAndPlayback;
  return separate ? EntryPoint::RecordAndStreamDesktopOneWithMusicSeparate : EntryPoint::RecordAndStreamDesktopOneWithMusic;
}

void PlanStreaming(const RecordingOptions& options, EngineCall& call) {
  call.streaming = true;
  call.audioInput = options.recordAudio ? AudioInputFor(options.microphone, options.defaultAudioInput) : "";
  call.debugLines.push_back(Printf("Recording with microphone: %s\n", call.audioInput.c_str()));
  for (const StreamingServer& server : options.servers) {
    if (!server.enabled) continue;
    // URLs go whole: a long stream key is common and a cut one publishes nowhere.
    if (static_cast<int>(call.urls.size()) < kMaxStreamUrls) call.urls.push_back(StreamUrl(server));
    else call.debugLines.push_back(Printf("Streaming server left out, more than %d are enabled: %s\n", kMaxStreamUrls, server.name.c_str()));
  }
  const int count = static_cast<int>(call.urls.size());
  call.debugLines.push_back(Printf("SelectedServercount: %d\n", count));
  call.debugLines.push_back(count == 0   ? "DEBUG: Will use test streaming function\n"
                            : count == 1 ? "DEBUG: Will use single URL streaming function\n"
                                         : "DEBUG: Will use multiple URL streaming function\n");
  const bool music = HasMusic(options);
  const bool playback = music && options.playback;
  if (music) {
    call.musicPath = options.musicPath;
    call.volume = options.volume;
    call.debugLines.push_back(playback ? "Using streaming with background music and playback device\n"
                                       : "Using streaming with background music\n");
  }
  if (options.separate) call.debugLines.push_back("EXPERIMENTAL: Using separate video/audio files with streaming\n");
  if (count == 0) {
    call.usesTestUrl = true;
    call.urls = {options.testStreamUrl};
  }
  call.entry = StreamEntry(count > 1, music, playback, options.separate);
  const std::string lead = count == 0   ? "No streaming servers enabled, using test streaming function"
                           : count == 1 ? "Using single URL streaming function"
                                        : "Using multiple URL streaming function";
  call.debugLines.push_back(music ? lead + " " + MusicVariantText(playback, options.separate) : lead + "\n");
}

}  // namespace

std::string AudioInputFor(const std::string& microphone, const std::string& defaultAudioInput) {
  return microphone.empty() ? defaultAudioInput : "audio=" + microphone;
}

std::string StreamUrl(const StreamingServer& server) { return server.rtmpUrl + "/" + server.key; }

EngineCall PlanRecording(const RecordingOptions& options) {
  EngineCall call;
  call.outputPath = options.outputPath;
  if (options.streaming) PlanStreaming(options, call);
  else PlanFileOnly(options, call);
  return call;
}

void Invoke(RecordingEngine& engine, const EngineCall& call) {
  const char* out = call.outputPath.c_str();
  const char* audio = call.audioInput.c_str();
  const char* music = call.musicPath.c_str();
  const char* one = call.urls.empty() ? "" : call.urls[0].c_str();
  std::vector<const char*> list;
  for (const std::string& url : call.urls) list.push_back(url.c_str());
  const int count = static_cast<int>(list.size());
  const int volume = call.volume;
  switch (call.entry) {
    case EntryPoint::RecordScreen: return engine.RecordScreen(out);
    case EntryPoint::RecordScreenWithAudio: return engine.RecordScreenWithAudio(out, audio);
    case EntryPoint::RecordScreenWithAudioSeparate: return engine.RecordScreenWithAudioSeparate(out, audio);
    case EntryPoint::RecordScreenWithAudioAndMusic: return engine.RecordScreenWithAudioAndMusic(out, audio, music, volume);
    case EntryPoint::RecordScreenWithAudioAndMusicSeparate:
      return engine.RecordScreenWithAudioAndMusicSeparate(out, audio, music, volume);
    case EntryPoint::RecordScreenWithAudioAndMusicWithDefaultDevPlayback:
      return engine.RecordScreenWithAudioAndMusicWithDefaultDevPlayback(out, audio, music, volume);
    case EntryPoint::RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate:
      return engine.RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(out, audio, music, volume);
    case EntryPoint::RecordAndStreamDesktopOne: return engine.RecordAndStreamDesktopOne(audio, out, one);
    case EntryPoint::RecordAndStreamDesktopOneSeparate: return engine.RecordAndStreamDesktopOneSeparate(audio, out, one);
    case EntryPoint::RecordAndStreamDesktopOneWithMusic:
      return engine.RecordAndStreamDesktopOneWithMusic(audio, out, one, music, volume);
    case EntryPoint::RecordAndStreamDesktopOneWithMusicSeparate:
      return engine.RecordAndStreamDesktopOneWithMusicSeparate(audio, out, one, music, volume);
    case EntryPoint::RecordAndStreamDesktopOneWithMusicAndPlayback:
      return engine.RecordAndStreamDesktopOneWithMusicAndPlayback(audio, out, one, music, volume);
    case EntryPoint::RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate:
      return engine.RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(audio, out, one, music, volume);
    case EntryPoint::RecordAndStreamDesktop: return engine.RecordAndStreamDesktop(out, audio, list.data(), count);
    case EntryPoint::RecordAndStreamDesktopSeparate:
      return engine.RecordAndStreamDesktopSeparate(out, audio, list.data(), count);
    case EntryPoint::RecordAndStreamDesktopWithMusic:
      return engine.RecordAndStreamDesktopWithMusic(out, audio, list.data(), count, music, volume);
    case EntryPoint::RecordAndStreamDesktopWithMusicSeparate:
      return engine.RecordAndStreamDesktopWithMusicSeparate(out, audio, list.data(), count, music, volume);
    case EntryPoint::RecordAndStreamDesktopWithMusicAndPlayback:
      return engine.RecordAndStreamDesktopWithMusicAndPlayback(out, audio, list.data(), count, music, volume);
    case EntryPoint::RecordAndStreamDesktopWithMusicAndPlaybackSeparate:
      return engine.RecordAndStreamDesktopWithMusicAndPlaybackSeparate(out, audio, list.data(), count, music, volume);
  }
}

std::string OptionCaption(EntryPoint entry) {
  const std::string name = EntryPointName(entry);
  if (name.find("Playback") != std::string::npos) return "Play Bkg Music to the Default Playback Device";
  if (name.find("Music") != std::string::npos) return "Enable Background Music";
  if (name.find("Separate") != std::string::npos) return "Create Separate Audio and Video Files of Recording";
  return name;
}

}  // namespace orvex
