#include "AvSyncAnalysis.h"

#include <algorithm>
#include <cmath>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

namespace avsync {
namespace {

constexpr double kBeepHz = 1000;
constexpr double kFlashLumaStep = 25;  // of 255: the flash is full white, the desktop light grey
constexpr double kPairWindowSeconds = 1;
constexpr double kMinEventGapSeconds = 2;

struct Demuxer {
  AVFormatContext* context = nullptr;
  ~Demuxer() { avformat_close_input(&context); }
};
struct Decoder {
  AVCodecContext* context = nullptr;
  ~Decoder() { avcodec_free_context(&context); }
};

bool OpenDecoder(AVFormatContext* file, int index, Decoder& decoder) {
  const AVCodecParameters* parameters = file->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (!codec || !(decoder.context = avcodec_alloc_context3(codec))) return false;
  return avcodec_parameters_to_context(decoder.context, parameters) >= 0 && avcodec_open2(decoder.context, codec, nullptr) >= 0;
}

// Mean of the picture's luma plane, sampled on a grid.
double MeanLuma(const AVFrame* frame) {
  double sum = 0;
  int count = 0;
  for (int y = 0; y < frame->height; y += 8)
    for (int x = 0; x < frame->width; x += 8) {
      sum += frame->data[0][y * frame->linesize[0] + x];
      ++count;
    }
  return count ? sum / count : 0;
}

// Decodes the chosen tracks of a file, calling back with each frame.
template <typename OnVideo, typename OnAudio>
std::string DecodeTracks(const std::string& path, bool video, bool audio, OnVideo onVideo, OnAudio onAudio) {
  Demuxer demuxer;
  if (avformat_open_input(&demuxer.context, path.c_str(), nullptr, nullptr) < 0) return "cannot open " + path;
  if (avformat_find_stream_info(demuxer.context, nullptr) < 0) return "cannot read the streams of " + path;
  const int videoIndex = video ? av_find_best_stream(demuxer.context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
  const int audioIndex = audio ? av_find_best_stream(demuxer.context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
  if ((video && videoIndex < 0) || (audio && audioIndex < 0)) return "a track is missing in " + path;
  Decoder videoDecoder, audioDecoder;
  if (video && !OpenDecoder(demuxer.context, videoIndex, videoDecoder)) return "cannot decode the video";
  if (audio && !OpenDecoder(demuxer.context, audioIndex, audioDecoder)) return "cannot decode the audio";
  std::unique_ptr<AVPacket, void (*)(AVPacket*)> packet(av_packet_alloc(), [](AVPacket* p) { av_packet_free(&p); });
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame(av_frame_alloc(), [](AVFrame* f) { av_frame_free(&f); });
  const auto drain = [&](Decoder& decoder, int index) {
    const double unit = av_q2d(demuxer.context->streams[index]->time_base);
    while (avcodec_receive_frame(decoder.context, frame.get()) >= 0) {
      const int64_t pts = frame->best_effort_timestamp;
      const double seconds = pts == AV_NOPTS_VALUE ? -1 : pts * unit;
      if (index == videoIndex) onVideo(frame.get(), seconds);
      else onAudio(frame.get(), seconds);
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(demuxer.context, packet.get()) >= 0) {
    Decoder* decoder = packet->stream_index == videoIndex ? &videoDecoder
                       : packet->stream_index == audioIndex ? &audioDecoder : nullptr;
    const int index = packet->stream_index;
    if (decoder && avcodec_send_packet(decoder->context, packet.get()) >= 0) drain(*decoder, index);
    av_packet_unref(packet.get());
  }
  if (video) {
    avcodec_send_packet(videoDecoder.context, nullptr);
    drain(videoDecoder, videoIndex);
  }
  if (audio) {
    avcodec_send_packet(audioDecoder.context, nullptr);
    drain(audioDecoder, audioIndex);
  }
  return "";
}

// Appends a decoded audio frame to the mono sound.
void AppendMono(const AVFrame* frame, double seconds, Sound& sound) {
  if (sound.samples.empty()) {
    sound.rate = frame->sample_rate;
    sound.startSeconds = seconds;
  }
  const int channels = frame->ch_layout.nb_channels;
  const auto format = static_cast<AVSampleFormat>(frame->format);
  for (int i = 0; i < frame->nb_samples; ++i) {
    double sum = 0;
    for (int c = 0; c < channels; ++c) {
      if (format == AV_SAMPLE_FMT_FLTP) sum += reinterpret_cast<const float*>(frame->extended_data[c])[i];
      else if (format == AV_SAMPLE_FMT_FLT) sum += reinterpret_cast<const float*>(frame->data[0])[i * channels + c];
      else if (format == AV_SAMPLE_FMT_S16) sum += reinterpret_cast<const int16_t*>(frame->data[0])[i * channels + c] / 32768.0;
    }
    sound.samples.push_back(static_cast<float>(sum / std::max(1, channels)));
  }
}

}  // namespace

std::vector<float> ToneLevel(const std::vector<float>& samples, int rate, double frequencyHz, int window) {
  // A sliding single-frequency transform: running sums of the samples
  // turned by the tone's phase.
  std::vector<float> level(samples.size(), 0);
  double re = 0, im = 0;
  const double step = 2 * M_PI * frequencyHz / rate;
  for (size_t i = 0; i < samples.size(); ++i) {
    re += samples[i] * std::cos(step * i);
    im -= samples[i] * std::sin(step * i);
    if (i >= static_cast<size_t>(window)) {
      const size_t old = i - window;
      re -= samples[old] * std::cos(step * old);
      im += samples[old] * std::sin(step * old);
    }
    if (i + 1 >= static_cast<size_t>(window)) level[i] = static_cast<float>(2 * std::hypot(re, im) / window);
  }
  return level;
}

std::vector<double> ToneOnsets(const std::vector<float>& samples, int rate, double frequencyHz, double minGapSeconds) {
  const int window = rate / 100;  // 10 ms: other tones 100 Hz away stay out
  const std::vector<float> level = ToneLevel(samples, rate, frequencyHz, window);
  const float peak = level.empty() ? 0 : *std::max_element(level.begin(), level.end());
  std::vector<double> onsets;
  if (peak <= 0) return onsets;
  for (size_t i = 1; i < level.size(); ++i) {
    if (level[i - 1] < peak / 2 && level[i] >= peak / 2) {
      // The window's level rises through half when it covers half the beep.
      const double seconds = (static_cast<double>(i) - window / 2.0) / rate;
      if (onsets.empty() || seconds - onsets.back() >= minGapSeconds) onsets.push_back(seconds);
    }
  }
  return onsets;
}

Sound DecodeSound(const std::string& path) {
  Sound sound;
  sound.error = DecodeTracks(
      path, false, true, [](const AVFrame*, double) {}, [&](const AVFrame* frame, double seconds) { AppendMono(frame, seconds, sound); });
  return sound;
}

Analysis Analyze(const std::string& path) {
  Analysis analysis;
  Sound sound;
  std::vector<std::pair<double, double>> lumas;  // (time, mean luma)
  analysis.error = DecodeTracks(
      path, true, true, [&](const AVFrame* frame, double seconds) { lumas.emplace_back(seconds, MeanLuma(frame)); },
      [&](const AVFrame* frame, double seconds) { AppendMono(frame, seconds, sound); });
  if (!analysis.error.empty()) return analysis;
  std::sort(lumas.begin(), lumas.end());
  for (size_t i = 1; i < lumas.size(); ++i)
    if (lumas[i].second - lumas[i - 1].second > kFlashLumaStep &&
        (analysis.flashes.empty() || lumas[i].first - analysis.flashes.back() > kMinEventGapSeconds))
      analysis.flashes.push_back((lumas[i].first + lumas[i - 1].first) / 2);
  for (double onset : ToneOnsets(sound.samples, sound.rate, kBeepHz, kMinEventGapSeconds))
    analysis.beeps.push_back(sound.startSeconds + onset);
  for (double flash : analysis.flashes) {
    const auto nearest = std::min_element(analysis.beeps.begin(), analysis.beeps.end(),
                                          [&](double a, double b) { return std::abs(a - flash) < std::abs(b - flash); });
    if (nearest != analysis.beeps.end() && std::abs(*nearest - flash) < kPairWindowSeconds)
      analysis.events.push_back({flash, *nearest});
  }
  return analysis;
}

}  // namespace avsync
