// The inputs of one plain recording and the set-up steps every recording
// operation shares.
#pragma once

#include <optional>
#include <string>

#include "src/MediaInput.h"

namespace capmill {

class PellamCapmill;

// Destroyed audio first: the first destruction closes the shared file.
struct RecordingInputs {
  MediaKind videoKind = kScreenVideo;
  MediaKind audioKind = kSharedFileAudio;
  std::optional<MediaInput> screen;
  std::optional<MediaInput> audio;

  ~RecordingInputs() {
    audio.reset();
    screen.reset();
  }
  MediaInput* Screen() { return screen ? &*screen : nullptr; }
  MediaInput* Audio() { return audio ? &*audio : nullptr; }
};

// Builds the inputs, opens the devices, encoders and the file, writes its
// header and sets up the converters. audioInput null: screen only. Throws.
void OpenInputs(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput);

}  // namespace capmill
