// One capture pipeline: device, decoder, encoder, output track, converter and
// clock of one source of a recording.
#pragma once

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "src/EngineState.h"
#include "src/OutputFile.h"

namespace capmill {

struct MixingContext;
struct ReaderContext;

// 0 screen video, 1 audio into a file of its own, 2 audio track of the shared
// file; 3 and 4 are reserved.
using MediaKind = int;
constexpr MediaKind kScreenVideo = 0;
constexpr MediaKind kOwnFileAudio = 1;
constexpr MediaKind kSharedFileAudio = 2;

// A setup failure carrying the message the recording operation reports.
class CaptureError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Library error code as text (av_err2str does not compile in C++).
std::string AvErrorText(int code);

// The leading decimal integer of a text (0 when there is none).
int LeadingInt(const std::string& text);

class MediaInput {
 public:
  // Throws CaptureError (std::invalid_argument for an unknown kind).
  MediaInput(MediaKind& kind, const std::string& frameRateText);
  ~MediaInput();
  MediaInput(const MediaInput&) = delete;
  MediaInput& operator=(const MediaInput&) = delete;

  // Opens the named capture device ("gdigrab" on "desktop", "dshow" on
  // "audio=NAME") with inputOptions.
  void OpenDevice(const std::string& formatName, const std::string& inputName);
  // Opens a media file with its format detected from the file itself.
  void OpenFile(const std::string& path);
  // Finds the first stream of the media type and opens its decoder.
  void OpenDecoder(AVMediaType type);

  // Reads the next captured packet. A seam so tests can make reads fail.
  std::function<int(AVPacket*)> readPacket;

  // The container this input writes: its own, else the engine's shared one.
  AVFormatContext* OutputContainer() const;
  // The file this input writes, shared with the other inputs of its
  // recording; set by OpenOutput.
  std::shared_ptr<OutputFile> output;

  std::string frameRateText;
  int frameRate = 0;
  int requestedWidth = 0;
  int requestedHeight = 0;
  const AVOutputFormat* outputFormat = nullptr;
  const AVInputFormat* inputFormat = nullptr;
  AVFormatContext* ifmt_ctx = nullptr;
  AVFormatContext* ownOutput = nullptr;  // non-owning: output's container when it is this input's own
  RecordingClock* clock = nullptr;
  AVCodecParameters* inputParameters = nullptr;  // not owned after stream discovery
  AVCodecParameters* outputParameters = nullptr;
  AVCodecContext* av_cntx_in = nullptr;
  AVCodecContext* encoderContext = nullptr;
  const AVCodec* decoder = nullptr;
  const AVCodec* encoder = nullptr;
  AVStream* outputStream = nullptr;
  AVDictionary* inputOptions = nullptr;
  AVPacket* inputPacket = nullptr;
  AVPacket* outputPacket = nullptr;
  AVFrame* decodedFrame = nullptr;
  AVFrame* convertedFrame = nullptr;
  AVAudioFifo* audioFifo = nullptr;
  int streamIndex = -1;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  MediaKind& kind;
  int gopSize = 0;
  int maxBFrames = 0;
  int timeBaseNum = 0;
  int timeBaseDen = 0;
  std::string outputPath;
  // The capture device as the user named it ("audio=" taken off).
  std::string deviceName;
  // Set only while a music pipeline runs on this microphone input.
  std::atomic<MixingContext*> mixingContext{nullptr};
  ReaderContext* readerContext = nullptr;

 private:
  void ConfigureScreen();
  void ConfigureAudio();
  void SetInputOption(const char* key, const char* value, const char* failure);
  void ReleaseAll();
};

}  // namespace capmill
