#include "src/RecordingInputs.h"

#include "src/Output.h"
#include "src/PellamCapmill.h"

namespace capmill {
namespace {

constexpr const char kAudioInputFrameRate[] = "24";

}  // namespace

void OpenInputs(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput) {
  inputs.screen.emplace(inputs.videoKind, session.frameRateText);
  if (audioInput) inputs.audio.emplace(inputs.audioKind, kAudioInputFrameRate);

  MediaInput& screen = *inputs.screen;
  screen.requestedWidth = session.width;
  screen.requestedHeight = session.height;
  screen.OpenDevice("gdigrab", "desktop");
  screen.OpenDecoder(AVMEDIA_TYPE_VIDEO);
  OpenOutput(screen, session.outputPath);
  AVDictionary* options = VideoEncoderOptions(session.crfText);
  try {
    OpenEncoder(screen, &options);
  } catch (...) {
    av_dict_free(&options);
    throw;
  }
  av_dict_free(&options);

  if (audioInput) {
    MediaInput& audio = *inputs.audio;
    audio.OpenDevice("dshow", *audioInput);
    audio.OpenDecoder(AVMEDIA_TYPE_AUDIO);
    OpenOutput(audio, session.outputPath);
    OpenEncoder(audio, nullptr);
  }
  WriteHeader(screen);
  SetupScaler(screen);
  if (audioInput) SetupResampler(*inputs.audio);
}

}  // namespace capmill
