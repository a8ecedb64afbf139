#include "src/RecordingInputs.h"

#include <chrono>
#include <exception>
#include <future>

#include "platform/Log.h"
#include "src/Output.h"
#include "src/PellamCapmill.h"
#include "src/RecordingOperation.h"
#include "src/SeparatePaths.h"

namespace capmill {
namespace {

constexpr const char kAudioInputFrameRate[] = "24";

// Milliseconds since `since`, for the set-up timing line of the debug channel.
long long MsSince(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

// Everything said while the music opens goes to the debug channel and to
// standard output; a family that says nothing leaves its texts null.
void DebugAndOut(const std::string& text) {
  log::Debug(text);
  log::Out(text);
}

// Opens the music file and its decoder. False when the file's audio has no
// decoder that opens: the recording then goes on without music. A file that
// cannot be read, or holds no audio, throws.
bool OpenMusic(MediaInput& music, const MusicRequest& request) {
  const MusicTexts& texts = *request.texts;
  if (texts.open) DebugAndOut(log::Format(512, texts.open, request.path->c_str()));
  music.OpenFile(*request.path);
  try {
    music.OpenDecoder(AVMEDIA_TYPE_AUDIO);
  } catch (const CaptureError&) {
    if (music.streamIndex < 0) throw;
    avcodec_free_context(&music.av_cntx_in);
  }
  if (texts.opened) DebugAndOut(log::Format(512, texts.opened, music.streamIndex));
  if (!music.av_cntx_in) {
    if (texts.codecMissing) DebugAndOut(texts.codecMissing);
    return false;
  }
  if (texts.codecOpened)
    DebugAndOut(log::Format(512, texts.codecOpened, music.av_cntx_in->sample_rate,
                            music.av_cntx_in->ch_layout.nb_channels));
  return true;
}

// Makes every input, then opens the screen and the microphone. All inputs
// are made first: making one clears the shared container and a pending
// stop, which later ones must not lose.
void OpenDevices(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput, bool music) {
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
}

void OpenVideoEncoder(MediaInput& screen, const std::string& crfText) {
  AVDictionary* options = VideoEncoderOptions(crfText);
  try {
    OpenEncoder(screen, &options);
  } catch (...) {
    av_dict_free(&options);
    throw;
  }
  av_dict_free(&options);
}

}  // namespace

void OpenInputs(RecordingInputs& inputs, const PellamCapmill& session, const std::string* audioInput,
                const MusicRequest* music) {
  const auto begun = std::chrono::steady_clock::now();
  OpenDevices(inputs, session, audioInput, music != nullptr);
  const long long devicesMs = MsSince(begun);
  MediaInput& screen = *inputs.screen;
  OpenOutput(screen, session.outputPath);
  OpenVideoEncoder(screen, session.crfText);

  if (audioInput) {
    MediaInput& audio = *inputs.audio;
    OpenOutput(audio, session.outputPath);
    OpenEncoder(audio, nullptr);
  }
  // Without a decoder the music thread records the microphone alone.
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

bool OpenSeparateInputs(RecordingInputs& inputs, const PellamCapmill& session, const SeparatePaths& paths,
                        const std::string& audioInput, const MusicRequest* music) {
  inputs.audioKind = kOwnFileAudio;
  OpenDevices(inputs, session, &audioInput, music != nullptr);
  MediaInput& screen = *inputs.screen;
  OpenOutput(screen, paths.video);
  OpenVideoEncoder(screen, session.crfText);
  WriteHeader(screen);
  SetupScaler(screen);
  // The video file is the screen's alone; the microphone's file is the one
  // the streams and the music join.
  screen.ownOutput = screen.output->context();
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().sharedOutput = nullptr;
    Engine().sharedFile.reset();
  }
  MediaInput& audio = *inputs.audio;
  OpenOutput(audio, paths.audio);
  audio.ownOutput = audio.output->context();
  OpenEncoder(audio, nullptr);
  WriteHeader(audio);
  SetupResampler(audio);
  return !music || OpenMusic(*inputs.music, *music);
}

}  // namespace capmill
