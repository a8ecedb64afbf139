// Reads back what the engine wrote: streams, packets, timestamps and sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct ProbedStream {
  std::string type;   // "video" or "audio"
  std::string codec;  // "h264", "aac"
  int width = 0, height = 0;
  std::string pixelFormat;
  int sampleRate = 0;
  int timeBaseNum = 0, timeBaseDen = 0;
  int extradataSize = 0;
  std::vector<int64_t> pts;  // in packet order, in the stream's time base
  std::vector<int64_t> dts;
  int keyFrames = 0;
  double StartSeconds() const;
  double DurationSeconds() const;  // last pts - first pts, in seconds
  std::vector<int64_t> SortedPts() const;
};

struct ProbedFile {
  bool ok = false;
  std::string format;
  double durationSeconds = 0;
  std::vector<ProbedStream> streams;
  const ProbedStream* Video() const;
  const ProbedStream* Audio() const;
};

ProbedFile ProbeFile(const std::string& path);

// Decodes every stream with the ffmpeg tool; returns what it reported at
// level "error" (empty for a clean file) and the number of decoded video frames.
std::string DecodeErrors(const std::string& path, int* videoFrames = nullptr);

// The first channel of the first audio track as float samples at 44100 Hz
// (a downmix would scale the level of identical channels by 1.4).
std::vector<float> DecodeAudio(const std::string& path);
// Root mean square of the samples, and the share of it at frequencyHz (in
// the blocks that are not silent).
double Rms(const std::vector<float>& samples);
double ToneShare(const std::vector<float>& samples, double frequencyHz, int sampleRate = 44100);
// Where the first block of about 93 ms that is not silent begins, in seconds
// from the first sample (-1 when all is silent); and how many silent blocks
// lie between the first and the last that are not: a hole in the sound.
double FirstSoundSeconds(const std::vector<float>& samples, int sampleRate = 44100);
int SilentBlocksInside(const std::vector<float>& samples);

// One decoded picture as 8-bit RGB.
struct RgbPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  bool ok() const { return width > 0 && rgb.size() == static_cast<size_t>(width) * height * 3; }
  // The colour at (x, y) as 0xRRGGBB; 0 outside the picture.
  uint32_t At(int x, int y) const;
};
// The video frame shown at `seconds` into the file.
RgbPicture DecodePicture(const std::string& path, double seconds);
// The colour (0xRRGGBB) of one pixel in every decoded frame, in order.
std::vector<uint32_t> PixelInEveryFrame(const std::string& path, int x, int y);
// Whether two colours differ by at most `tolerance` in each channel.
bool CloseColour(uint32_t a, uint32_t b, int tolerance);

}  // namespace testsupport
