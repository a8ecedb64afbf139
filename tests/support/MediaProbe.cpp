#include "MediaProbe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Processes.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

namespace testsupport {

double ProbedStream::StartSeconds() const {
  if (pts.empty() || timeBaseDen == 0) return 0;
  return static_cast<double>(*std::min_element(pts.begin(), pts.end())) * timeBaseNum / timeBaseDen;
}

double ProbedStream::DurationSeconds() const {
  if (pts.size() < 2 || timeBaseDen == 0) return 0;
  const auto [low, high] = std::minmax_element(pts.begin(), pts.end());
  return static_cast<double>(*high - *low) * timeBaseNum / timeBaseDen;
}

std::vector<int64_t> ProbedStream::SortedPts() const {
  std::vector<int64_t> sorted = pts;
  std::sort(sorted.begin(), sorted.end());
  return sorted;
}

const ProbedStream* ProbedFile::Video() const {
  for (const auto& stream : streams)
    if (stream.type == "video") return &stream;
  return nullptr;
}

const ProbedStream* ProbedFile::Audio() const {
  for (const auto& stream : streams)
    if (stream.type == "audio") return &stream;
  return nullptr;
}

ProbedFile ProbeFile(const std::string& path) {
  ProbedFile result;
  AVFormatContext* file = nullptr;
  if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0) return result;
  if (avformat_find_stream_info(file, nullptr) < 0) {
    avformat_close_input(&file);
    return result;
  }
  result.ok = true;
  result.format = file->iformat->name;
  result.durationSeconds = file->duration > 0 ? file->duration / static_cast<double>(AV_TIME_BASE) : 0;
  for (unsigned i = 0; i < file->nb_streams; ++i) {
    const AVStream* stream = file->streams[i];
    const AVCodecParameters* par = stream->codecpar;
    ProbedStream probed;
    probed.type = par->codec_type == AVMEDIA_TYPE_VIDEO ? "video" : par->codec_type == AVMEDIA_TYPE_AUDIO ? "audio" : "other";
    probed.codec = avcodec_get_name(par->codec_id);
    probed.width = par->width;
    probed.height = par->height;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && par->format >= 0)
      probed.pixelFormat = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
    probed.sampleRate = par->sample_rate;
    probed.timeBaseNum = stream->time_base.num;
    probed.timeBaseDen = stream->time_base.den;
    probed.extradataSize = par->extradata_size;
    result.streams.push_back(probed);
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(file, packet) >= 0) {
    ProbedStream& stream = result.streams[packet->stream_index];
    stream.pts.push_back(packet->pts);
    stream.dts.push_back(packet->dts);
    if (packet->flags & AV_PKT_FLAG_KEY) ++stream.keyFrames;
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&file);
  return result;
}

std::string DecodeErrors(const std::string& path, int* videoFrames) {
  std::string output;
  // Every frame is decoded at its own timestamp: the null output's default
  // frame-rate conversion rounds wall-clock stamps to 1/frame rate and then
  // reports two frames landing on one slot, which is no decoding error.
  RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -fps_mode passthrough -enc_time_base -1 -f null - ", &output);
  if (videoFrames) {
    std::string count;
    RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 '" +
                   path + "'",
               &count);
    *videoFrames = std::atoi(count.c_str());
  }
  return output;
}

std::vector<float> DecodeAudio(const std::string& path) {
  std::vector<float> samples;
  FILE* pipe = ::popen(("ffmpeg -nostdin -v quiet -i '" + path + "' -map 0:a:0 -af \"pan=mono|c0=c0\" -ar 44100 -f f32le - 2>/dev/null").c_str(), "r");
  if (!pipe) return samples;
  float buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, sizeof(float), 4096, pipe)) > 0) samples.insert(samples.end(), buffer, buffer + n);
  ::pclose(pipe);
  return samples;
}

double Rms(const std::vector<float>& samples) {
  if (samples.empty()) return 0;
  double sum = 0;
  for (float s : samples) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / samples.size());
}

double ToneShare(const std::vector<float>& samples, double frequencyHz, int sampleRate) {
  // Goertzel power at the frequency against the total power, per block of
  // about 93 ms (a pause may jump the tone's phase), averaged over the blocks.
  constexpr size_t kBlock = 4096;
  constexpr double kSilentBlockEnergy = 1e-6;
  if (samples.size() < kBlock) return 0;
  const double coefficient = 2 * std::cos(2 * M_PI * frequencyHz / sampleRate);
  double shareSum = 0;
  size_t blocks = 0;
  for (size_t start = 0; start + kBlock <= samples.size(); start += kBlock, ++blocks) {
    double s1 = 0, s2 = 0, total = 0;
    for (size_t i = start; i < start + kBlock; ++i) {
      const double s0 = samples[i] + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
      total += static_cast<double>(samples[i]) * samples[i];
    }
    const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    if (total > kSilentBlockEnergy) shareSum += 2 * power / (kBlock * total);
    else --blocks;  // the silence before the first sound, or of a lost device
  }
  return blocks > 0 ? shareSum / blocks : 0;
}

namespace {
constexpr size_t kSoundBlock = 4096;
// Whether each block of the sound carries any.
std::vector<bool> SoundedBlocks(const std::vector<float>& samples) {
  std::vector<bool> sounded;
  for (size_t start = 0; start + kSoundBlock <= samples.size(); start += kSoundBlock) {
    double total = 0;
    for (size_t i = start; i < start + kSoundBlock; ++i) total += static_cast<double>(samples[i]) * samples[i];
    sounded.push_back(total > 1e-6);
  }
  return sounded;
}
}  // namespace

double FirstSoundSeconds(const std::vector<float>& samples, int sampleRate) {
  // Find the block, then the first sample in it that is not silent.
  const std::vector<bool> sounded = SoundedBlocks(samples);
  for (size_t block = 0; block < sounded.size(); ++block) {
    if (!sounded[block]) continue;
    for (size_t i = block > 0 ? (block - 1) * kSoundBlock : 0; i < samples.size(); ++i)
      if (std::abs(samples[i]) > 1e-4) return static_cast<double>(i) / sampleRate;
  }
  return -1;
}

int SilentBlocksInside(const std::vector<float>& samples) {
  const std::vector<bool> sounded = SoundedBlocks(samples);
  const auto first = std::find(sounded.begin(), sounded.end(), true);
  const auto last = std::find(sounded.rbegin(), sounded.rend(), true);
  if (first == sounded.end()) return 0;
  return static_cast<int>(std::count(first, last.base(), false));
}

uint32_t RgbPicture::At(int x, int y) const {
  if (!ok() || x < 0 || y < 0 || x >= width || y >= height) return 0;
  const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
  return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

RgbPicture DecodePicture(const std::string& path, double seconds) {
  RgbPicture picture;
  const ProbedFile file = ProbeFile(path);
  if (!file.ok || !file.Video()) return picture;
  picture.width = file.Video()->width;
  picture.height = file.Video()->height;
  char at[32];
  std::snprintf(at, sizeof at, "%.3f", seconds);
  FILE* pipe = ::popen(("ffmpeg -nostdin -v quiet -ss " + std::string(at) + " -i '" + path +
                        "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null")
                           .c_str(),
                       "r");
  if (!pipe) return {};
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  const size_t read = std::fread(picture.rgb.data(), 1, picture.rgb.size(), pipe);
  ::pclose(pipe);
  if (read != picture.rgb.size()) picture.rgb.clear();
  return picture;
}

std::vector<uint32_t> PixelInEveryFrame(const std::string& path, int x, int y) {
  // Every frame as it was recorded: no frame rate conversion drops or repeats one.
  FILE* pipe = ::popen(("ffmpeg -nostdin -v quiet -i '" + path + "' -vf format=rgb24,crop=1:1:" + std::to_string(x) + ":" +
                        std::to_string(y) + " -fps_mode passthrough -f rawvideo -pix_fmt rgb24 - 2>/dev/null")
                           .c_str(),
                       "r");
  std::vector<uint32_t> colours;
  if (!pipe) return colours;
  uint8_t rgb[3];
  while (std::fread(rgb, 1, 3, pipe) == 3) colours.push_back(rgb[0] << 16 | rgb[1] << 8 | rgb[2]);
  ::pclose(pipe);
  return colours;
}

bool CloseColour(uint32_t a, uint32_t b, int tolerance) {
  for (int shift : {16, 8, 0})
    if (std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)) > tolerance) return false;
  return true;
}

}  // namespace testsupport
