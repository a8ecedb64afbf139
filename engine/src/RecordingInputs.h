// The inputs of one plain recording and the set-up steps every recording
// operation shares.
#pragma once

#include <optional>
#include <string>

#include "src/MediaInput.h"

namespace capmill {

class PellamCapmill;
struct MusicTexts;
struct SeparatePaths;

// Destroyed audio first: the first destruction closes the shared file. The
// music input writes nothing and goes last.
struct RecordingInputs {
  MediaKind videoKind = kScreenVideo;
  MediaKind audioKind = kSharedFileAudio;
  MediaKind musicKind = kSharedFileAudio;
  std::optional<MediaInput> screen;
  std::optional<MediaInput> audio;
  std::optional<MediaInput> music;

  ~RecordingInputs() {
    audio.reset();
    screen.reset();
    music.reset();
  }
  MediaInput* Screen() { return screen ? &*screen : nullptr; }
  MediaInput* Audio() { return audio ? &*audio : nullptr; }
  MediaInput* Music() { return music ? &*music : nullptr; }
};

// The music file of a recording and what its family says about it.
struct MusicRequest {
  const std::string* path;
  const MusicTexts* texts;
};

// Builds the inputs, opens the devices, encoders and the file, writes its
// header and sets up the converters. audioInput null: screen only; music
// null: none. Throws.
void OpenInputs(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput,
                const MusicRequest* music = nullptr);

// The same for a recording into two files: the screen's video file, the
// microphone's audio file (the one streams and other inputs share), then
// the music. False, with the inputs open, when the music has no usable
// decoder. Throws.
bool OpenSeparateInputs(RecordingInputs& inputs, const PellamCapmill& session, const SeparatePaths& paths,
                        const std::string& audioInput, const MusicRequest* music = nullptr);

}  // namespace capmill
