#include "src/RecordingInputs.h"

#include <chrono>
#include <exception>
#include <future>

#include "platform/Log.h"
#include "src/Output.h"
#include "src/PellamCapmill.h"
#include "src/RecordingOperation.h"

namespace capmill {
namespace {

constexpr const char kAudioInputFrameRate[] = "24";

// Milliseconds since `since`, for the set-up timing line of the debug channel.
long long MsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// Everything said while the music opens goes to the debug channel and to
// standard output.
void DebugAndOut(const std::string& text) {
  log::Debug(text);
  log::Out(text);
}

void OpenMusic(MediaInput& music, const MusicRequest& request) {
  const MusicTexts& texts = *request.texts;
  DebugAndOut(log::Format(512, texts.open, request.path->c_str()));
  music.OpenFile(*request.path);
  music.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  DebugAndOut(log::Format(512, texts.opened, music.streamIndex));
  if (music.av_cntx_in)
    DebugAndOut(log::Format(512, texts.codecOpened, music.av_cntx_in->sample_rate,
                            music.av_cntx_in->ch_layout.nb_channels));
  else
    DebugAndOut(texts.codecMissing);
}

}  // namespace

void OpenInputs(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput,
                const MusicRequest* music) {
  const auto begun = std::chrono::steady_clock::now();
  // All inputs are made first: making one clears the shared container and a
  // pending stop, which later ones must not lose.
  inputs.screen.emplace(inputs.videoKind, session.frameRateText);
  if (audioInput) inputs.audio.emplace(inputs.audioKind, kAudioInputFrameRate);
  if (music) inputs.music.emplace(inputs.musicKind, kAudioInputFrameRate);

  MediaInput& screen = *inputs.screen;
  screen.requestedWidth = session.width;
  screen.requestedHeight = session.height;
  // The two devices take their time to open and describe themselves; they
  // do it side by side so that the recording starts when the user asks.
  std::future<void> screenOpened = std::async(std::launch::async, [&screen] {
    screen.OpenDevice("gdigrab", "desktop");
    screen.OpenDecoder(AVMEDIA_TYPE_VIDEO);
  });
  std::exception_ptr audioFailure;
  if (audioInput) {
    try {
      inputs.audio->OpenDevice("dshow", *audioInput);
      inputs.audio->OpenDecoder(AVMEDIA_TYPE_AUDIO);
    } catch (...) {
      audioFailure = std::current_exception();
    }
  }
  screenOpened.get();  // the screen's failure is reported first, as before
  if (audioFailure) std::rethrow_exception(audioFailure);
  const long long devicesMs = MsSince(begun);
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
    OpenOutput(audio, session.outputPath);
    OpenEncoder(audio, nullptr);
  }
  if (music) OpenMusic(*inputs.music, *music);
  const long long encodersMs = MsSince(begun) - devicesMs;
  WriteHeader(screen);
  SetupScaler(screen);
  if (audioInput) SetupResampler(*inputs.audio);
  // Where the time between the call and the first frame goes.
  const long long totalMs = MsSince(begun);
  log::Debug(log::Format(160, "Inputs ready in %lld ms: devices %lld ms, encoders %lld ms, header %lld ms\n", totalMs,
                         devicesMs, encodersMs, totalMs - devicesMs - encodersMs));
}

}  // namespace capmill
