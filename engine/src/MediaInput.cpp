#include "src/MediaInput.h"

#include <cctype>

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavutil/channel_layout.h>
}

#include "platform/CaptureDevices.h"

namespace capmill {

constexpr int kScreenBitRate = 900000;
constexpr int kAudioBitRate = 128000;
constexpr int kMaxBFrames = 2;

std::string AvErrorText(int code) {
  char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buffer, sizeof(buffer));
  return buffer;
}

int LeadingInt(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 1000000000; ++i)
    value = value * 10 + (text[i] - '0');
  return static_cast<int>(negative ? -value : value);
}

MediaInput::MediaInput(MediaKind& mediaKind, const std::string& rateText) : kind(mediaKind) {
  avdevice_register_all();
  frameRateText = rateText;
  frameRate = LeadingInt(rateText);
  clock = new RecordingClock();
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    Engine().sharedOutput = nullptr;
    Engine().sharedFile.reset();
  }
  Engine().stopRequested = false;
  try {
    if (!(inputParameters = avcodec_parameters_alloc())) throw CaptureError("Unable to allocate input codec");
    if (!(outputParameters = avcodec_parameters_alloc())) throw CaptureError("Unable to allocate output codec");
    if (!(convertedFrame = av_frame_alloc())) throw CaptureError("Unable to allocate output frame");
    if (!(inputPacket = av_packet_alloc())) throw CaptureError("Unable to allocate input packet");
    if (!(decodedFrame = av_frame_alloc())) throw CaptureError("Unable to allocate input frame");
    if (!(outputPacket = av_packet_alloc())) throw CaptureError("Unable to allocate output packet");
    if (kind == -1) throw CaptureError("Unknown Media Input settings");
    switch (kind) {
      case kScreenVideo: ConfigureScreen(); break;
      case kOwnFileAudio:
      case kSharedFileAudio: ConfigureAudio(); break;
      case 3:
      case 4: break;
      default: throw std::invalid_argument("Please in put valid parameter");
    }
  } catch (...) {
    ReleaseAll();
    throw;
  }
  readPacket = [this](AVPacket* packet) { return av_read_frame(ifmt_ctx, packet); };
}

void MediaInput::SetInputOption(const char* key, const char* value, const char* failure) {
  if (av_dict_set(&inputOptions, key, value, 0) < 0) throw CaptureError(failure);
}

void MediaInput::ConfigureScreen() {
  outputParameters->codec_type = AVMEDIA_TYPE_VIDEO;
  outputParameters->codec_id = AV_CODEC_ID_H264;
  outputParameters->format = AV_PIX_FMT_YUV420P;
  outputParameters->bit_rate = kScreenBitRate;
  outputParameters->width = requestedWidth;
  outputParameters->height = requestedHeight;
  outputParameters->sample_aspect_ratio = AVRational{0, 1};
  gopSize = frameRate;
  maxBFrames = kMaxBFrames;
  timeBaseNum = 1;
  timeBaseDen = frameRate;
  SetInputOption("framerate", frameRateText.c_str(), "Unable to set default frame rate for video input");
  SetInputOption("probesize", "42M", "Unable to set default video size for video input");
  SetInputOption("preset", "ultrafast", "Unable to set ultrafast video capture option");
}

void MediaInput::ConfigureAudio() {
  outputParameters->codec_type = AVMEDIA_TYPE_AUDIO;
  outputParameters->codec_id = AV_CODEC_ID_AAC;
  outputParameters->profile = FF_PROFILE_AAC_LOW;
  outputParameters->format = AV_SAMPLE_FMT_FLTP;
  outputParameters->bit_rate = kAudioBitRate;
  SetInputOption("sample_rate", "44100", "Error: cannot set sample rate in input option");
  SetInputOption("async", "1", "Error: cannot set async in input option");
  SetInputOption("channels", "2", "Error: cannot set channels in input option");
}

void MediaInput::OpenDevice(const std::string& formatName, const std::string& inputName) {
  deviceName = inputName.rfind("audio=", 0) == 0 ? inputName.substr(6) : inputName;
  const platform::DeviceInput device = platform::MapCaptureDevice(formatName, inputName);
  inputFormat = av_find_input_format(device.format.c_str());
  if (!inputFormat) throw CaptureError("Unable to find input :" + formatName);
  for (const auto& [key, value] : device.options) av_dict_set(&inputOptions, key.c_str(), value.c_str(), 0);
  if (avformat_open_input(&ifmt_ctx, device.url.c_str(), inputFormat, &inputOptions) != 0)
    throw CaptureError("Unable to find media format :" + inputName);
}

void MediaInput::OpenFile(const std::string& path) {
  if (avformat_open_input(&ifmt_ctx, path.c_str(), nullptr, &inputOptions) != 0)
    throw CaptureError("Unable to find media format :" + path);
}

// A capture device describes its streams when it opens; probing it would
// only wait for its first packets (PulseAudio's can take over a second).
static bool DescribedOnOpen(const AVFormatContext* context) {
  const AVClass* deviceClass = context->iformat ? context->iformat->priv_class : nullptr;
  if (!deviceClass || (context->ctx_flags & AVFMTCTX_NOHEADER) || context->nb_streams == 0) return false;
  if (deviceClass->category != AV_CLASS_CATEGORY_DEVICE_VIDEO_INPUT &&
      deviceClass->category != AV_CLASS_CATEGORY_DEVICE_AUDIO_INPUT)
    return false;
  for (unsigned i = 0; i < context->nb_streams; ++i)
    if (context->streams[i]->codecpar->codec_id == AV_CODEC_ID_NONE) return false;
  return true;
}

void MediaInput::OpenDecoder(AVMediaType type) {
  if (!DescribedOnOpen(ifmt_ctx) && avformat_find_stream_info(ifmt_ctx, nullptr) < 0)
    throw CaptureError("Error in Finding Stream");
  streamIndex = -1;
  for (unsigned i = 0; i < ifmt_ctx->nb_streams; ++i) {
    if (ifmt_ctx->streams[i]->codecpar->codec_type == type) {
      streamIndex = static_cast<int>(i);
      break;
    }
  }
  if (streamIndex < 0) throw CaptureError("Type of stream in parameter has not found");
  // From here the parameters belong to the device's stream.
  avcodec_parameters_free(&inputParameters);
  inputParameters = ifmt_ctx->streams[streamIndex]->codecpar;

  if (kind == kOwnFileAudio || kind == kSharedFileAudio) {
    outputParameters->sample_rate = inputParameters->sample_rate;
    av_channel_layout_uninit(&outputParameters->ch_layout);
    av_channel_layout_default(&outputParameters->ch_layout, inputParameters->ch_layout.nb_channels);
    if (kind == kSharedFileAudio) outputParameters->frame_size = 1024;
  }

  decoder = avcodec_find_decoder(inputParameters->codec_id);
  if (!decoder) throw CaptureError("Unable to find input codec");
  av_cntx_in = avcodec_alloc_context3(decoder);
  if (!av_cntx_in) throw CaptureError("Unable to allocate input codec context");
  if (avcodec_parameters_to_context(av_cntx_in, inputParameters) < 0)
    throw CaptureError("Unable to copy input codec parameters to input codec context");
  if (avcodec_open2(av_cntx_in, decoder, nullptr) < 0)
    throw CaptureError("Unable to Initialize the AVCodecContext to use the given AVCodec.");

  if (requestedWidth != 0 && requestedHeight != 0) {
    outputParameters->width = requestedWidth;
    outputParameters->height = requestedHeight;
  } else {
    outputParameters->width = inputParameters->width;
    outputParameters->height = inputParameters->height;
  }
}

AVFormatContext* MediaInput::OutputContainer() const {
  if (output) return output->context();
  std::lock_guard<std::mutex> hold(Engine().lock);
  return Engine().sharedOutput;
}

void ReleaseOutputContext(AVFormatContext*& holder);

MediaInput::~MediaInput() {
  Engine().stopRequested = false;
  avcodec_free_context(&encoderContext);
  if (ifmt_ctx) avformat_close_input(&ifmt_ctx);
  // The last input that writes a file closes it; the engine's alias goes with it.
  ownOutput = nullptr;
  output.reset();
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    if (Engine().sharedFile.expired()) Engine().sharedOutput = nullptr;
  }
  ReleaseAll();
}

void MediaInput::ReleaseAll() {
  delete clock;
  clock = nullptr;
  avcodec_parameters_free(&outputParameters);
  if (streamIndex < 0) avcodec_parameters_free(&inputParameters);  // still ours
  avcodec_free_context(&av_cntx_in);
  av_dict_free(&inputOptions);
  av_packet_free(&inputPacket);
  av_packet_free(&outputPacket);
  av_frame_free(&decodedFrame);
  av_frame_free(&convertedFrame);
  if (audioFifo) av_audio_fifo_free(audioFifo);
  audioFifo = nullptr;
  sws_freeContext(scaler);
  scaler = nullptr;
  swr_free(&resampler);
}

}  // namespace capmill
