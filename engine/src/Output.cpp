#include "src/Output.h"

#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include "platform/Log.h"

namespace capmill {
namespace {

constexpr int kDefaultSampleRate = 44100;
constexpr int kSharedAudioFrameSize = 1024;

bool ListsRate(const AVCodec* codec, int rate) {
  for (const int* r = codec->supported_samplerates; r && *r; ++r)
    if (*r == rate) return true;
  return false;
}

void ConfigureAudioEncoder(MediaInput& input) {
  AVCodecContext* enc = input.encoderContext;
  const AVCodecParameters* in = input.inputParameters;
  const AVCodecContext* dec = input.av_cntx_in;
  enc->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
  if (in->sample_rate >= 1) enc->sample_rate = in->sample_rate;
  else if (dec->sample_rate > 0) enc->sample_rate = dec->sample_rate;
  else enc->sample_rate = kDefaultSampleRate;
  enc->time_base = AVRational{1, in->sample_rate};

  av_channel_layout_uninit(&enc->ch_layout);
  auto copyLayout = [enc](const AVChannelLayout& from) {
    if (av_channel_layout_copy(&enc->ch_layout, &from) < 0) av_channel_layout_default(&enc->ch_layout, from.nb_channels);
  };
  if (in->ch_layout.nb_channels > 0) copyLayout(in->ch_layout);
  else if (dec->ch_layout.nb_channels > 0) copyLayout(dec->ch_layout);
  else av_channel_layout_default(&enc->ch_layout, 2);

  if (input.kind == kOwnFileAudio && input.encoder->supported_samplerates &&
      !ListsRate(input.encoder, enc->sample_rate))
    enc->sample_rate = input.encoder->supported_samplerates[0];
  if (input.kind == kSharedFileAudio && input.encoder->supported_samplerates) {
    enc->sample_rate = input.encoder->supported_samplerates[0];
    if (ListsRate(input.encoder, dec->sample_rate)) enc->sample_rate = dec->sample_rate;
  }
}

void ConfigureVideoEncoder(MediaInput& input) {
  AVCodecContext* enc = input.encoderContext;
  enc->gop_size = input.gopSize;
  enc->max_b_frames = input.maxBFrames;
  enc->time_base = AVRational{input.timeBaseNum, input.timeBaseDen};
  enc->ticks_per_frame = 1;
}

// Under EngineLock. The file the input writes: the recording's shared one,
// or a file of its own for another path or a "_temp" path, which then
// becomes the shared one.
std::shared_ptr<OutputFile> ChooseContainer(MediaInput& input, const std::string& path) {
  EngineState& engine = Engine();
  const std::shared_ptr<OutputFile> shared = engine.sharedFile.lock();
  const AVFormatContext* sharedContext = shared ? shared->context() : nullptr;
  const bool differentPath = shared && sharedContext->url && !path.empty() && path != sharedContext->url;
  const bool tempPath = !path.empty() && path.find("_temp") != std::string::npos;

  if (shared && !differentPath && !tempPath) {
    input.outputFormat = sharedContext->oformat;
    if (!input.outputFormat) throw CaptureError("Format context exists but format is NULL. This is a programming error.");
    return shared;
  }
  input.outputFormat = av_guess_format(nullptr, path.empty() ? nullptr : path.c_str(), nullptr);
  if (!input.outputFormat)
    throw CaptureError("No matching format found for file: " + (path.empty() ? std::string("NULL") : path) +
                       ". Please try with correct file extension (e.g., .mp4, .mkv, .avi).");
  // AVI counts frames at a fixed rate; frames timed by the clock come out
  // minutes long. Refused before anything is written.
  if (std::strcmp(input.outputFormat->name, "avi") == 0)
    throw CaptureError("AVI files cannot hold a recording timed by the clock: " + path +
                       ". Please use .mp4, .mov or .mkv.");
  std::shared_ptr<OutputFile> file = input.ownOutput ? input.output : nullptr;
  if (!file) {
    file = OutputFile::Create(input.outputFormat, path);
    if (!file) {
      engine.sharedOutput = nullptr;
      throw CaptureError(differentPath || tempPath ? "Error in allocating av output format context for separate file"
                                                   : "Error in allocating av format output context");
    }
    if (differentPath || tempPath) input.ownOutput = file->context();
  }
  engine.sharedFile = file;
  engine.sharedOutput = file->context();
  return file;
}

}  // namespace

void OpenOutput(MediaInput& input, const std::string& path) {
  input.outputPath = path;
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    input.output = ChooseContainer(input, path);
  }
  AVFormatContext* container = input.output->context();
  input.encoder = avcodec_find_encoder(input.outputParameters->codec_id);
  if (!input.encoder) throw CaptureError("Unable to find an encoder");
  input.encoderContext = avcodec_alloc_context3(input.encoder);

  input.outputStream = avformat_new_stream(container, input.encoder);
  if (!input.outputStream) throw CaptureError("Unable to find the corresponding stream");
  if (!input.encoderContext) throw CaptureError("error in allocating the codec contexts");
  if (avcodec_parameters_to_context(input.encoderContext, input.outputParameters) < 0)
    throw CaptureError("error in converting the codec contexts");
  // Copied before the encoder's time base is set: the container then applies
  // its defaults (1/90000 for video, 1/sample rate for audio) at the header.
  input.outputStream->time_base = input.encoderContext->time_base;

  if (input.kind == kOwnFileAudio || input.kind == kSharedFileAudio) ConfigureAudioEncoder(input);
  else if (input.kind == kScreenVideo) ConfigureVideoEncoder(input);

  if (avcodec_parameters_copy(input.outputStream->codecpar, input.outputParameters) < 0)
    throw CaptureError("Codec parameter canot copied");
}

void OpenEncoder(MediaInput& input, AVDictionary** options) {
  // A container that describes its tracks up front (Matroska) needs the
  // encoder's configuration for its header: without it the header is
  // refused. MP4 waits for the first packets instead.
  const AVOutputFormat* format = input.output ? input.output->context()->oformat : nullptr;
  const bool configurationInHeader =
      format && (format->flags & AVFMT_GLOBALHEADER) && !OutputFile::Fragmented(format);
  if (configurationInHeader) input.encoderContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  input.encoderContext->thread_count = 0;
  if (input.kind == kScreenVideo || input.kind == 3) input.encoderContext->thread_type = FF_THREAD_SLICE;
  if (int code = avcodec_open2(input.encoderContext, input.encoder, options); code < 0)
    throw CaptureError("Unable to open the av output codec context. Error: " + log::Format(256, "%s", AvErrorText(code).c_str()));
  // The audio track takes the opened encoder's configuration (its decoder
  // configuration above all): a track without it cannot be played.
  if ((input.kind == kSharedFileAudio || input.kind == kOwnFileAudio || configurationInHeader) &&
      avcodec_parameters_from_context(input.outputStream->codecpar, input.encoderContext) < 0)
    throw CaptureError("Unable copy context out to out stream codec");
}

void WriteHeader(MediaInput& input) {
  if (!input.output || !input.output->Open()) throw CaptureError("Unable to Create and initialize a AVIOContext");
  if (input.output->context()->oformat->flags & AVFMT_GLOBALHEADER)
    input.encoderContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (input.kind == kSharedFileAudio) return;
  if (input.output->WriteHeader(nullptr) < 0) throw CaptureError("Unable to write format header");
}

void SetupScaler(MediaInput& input) {
  AVFrame* in = input.decodedFrame;
  AVFrame* out = input.convertedFrame;
  in->width = input.av_cntx_in->width;
  in->height = input.av_cntx_in->height;
  in->format = input.inputParameters->format;
  out->width = input.encoderContext->width;
  out->height = input.encoderContext->height;
  out->format = input.outputParameters->format;
  if (av_frame_get_buffer(in, 0) < 0) throw CaptureError("Unable allocate input frame buffer");
  if (av_frame_get_buffer(out, 0) < 0) throw CaptureError("Unable allocate output frame buffer");
  input.scaler = sws_getContext(in->width, in->height, static_cast<AVPixelFormat>(in->format), out->width, out->height,
                                static_cast<AVPixelFormat>(out->format), SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
  if (!input.scaler) throw CaptureError("Cannot allocate SWC Context");
}

void SetupResampler(MediaInput& input) {
  const AVCodecContext* enc = input.encoderContext;
  const AVCodecContext* dec = input.av_cntx_in;
  input.audioFifo = av_audio_fifo_alloc(enc->sample_fmt, enc->ch_layout.nb_channels, 1);
  if (!input.audioFifo) throw CaptureError("Could not allocate FIFOn");
  AVChannelLayout outLayout, inLayout;
  av_channel_layout_default(&outLayout, enc->ch_layout.nb_channels);
  av_channel_layout_default(&inLayout, dec->ch_layout.nb_channels);
  if (swr_alloc_set_opts2(&input.resampler, &outLayout, enc->sample_fmt, enc->sample_rate, &inLayout, dec->sample_fmt,
                          dec->sample_rate, 0, nullptr) < 0 ||
      !input.resampler)
    throw CaptureError("Cannot allocate the resample context");
  if (swr_init(input.resampler) < 0) {
    swr_free(&input.resampler);
    throw CaptureError("Could not open resample contextn");
  }
}

void WriteStreamTrailer(AVFormatContext* container) {
  if (!container) return;
  if (av_write_trailer(container) < 0) log::ErrLine("Error writing stream trailer");
}

void ReleaseOutputContext(AVFormatContext*& holder) {
  if (!holder) return;
  if (holder->pb && !(holder->oformat->flags & AVFMT_NOFILE)) avio_closep(&holder->pb);
  avformat_free_context(holder);
  holder = nullptr;
}

AVDictionary* VideoEncoderOptions(const std::string& crfText) {
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", "ultrafast", 0);
  av_dict_set(&options, "rtbufsize", "1500M", 0);
  av_dict_set(&options, "crf", crfText.c_str(), 0);
  // The encoder's time base is 1/frame rate while frames carry wall-clock
  // stamps in 1/90000 s: read as durations, those would make every frame last
  // minutes and the rate control would spend far more bits than the CRF asks.
  av_dict_set(&options, "x264-params", "force-cfr=1", 0);
  return options;
}

}  // namespace capmill
