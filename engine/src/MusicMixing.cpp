#include "src/MusicMixing.h"

#include <algorithm>
#include <mutex>

#include "src/EngineState.h"

namespace capmill {
namespace {

template <typename Sample, typename Gain>
void MixFloat(uint8_t* destination, const uint8_t* source, int64_t count, Gain gain) {
  auto* d = reinterpret_cast<Sample*>(destination);
  const auto* s = reinterpret_cast<const Sample*>(source);
  for (int64_t i = 0; i < count; ++i) d[i] = std::clamp<Sample>(d[i] + s[i] * gain, -1, 1);
}

void Mix16(uint8_t* destination, const uint8_t* source, int64_t count, double volume) {
  auto* d = reinterpret_cast<int16_t*>(destination);
  const auto* s = reinterpret_cast<const int16_t*>(source);
  for (int64_t i = 0; i < count; ++i) {
    const int product = static_cast<int>(s[i] * volume);  // truncated toward zero
    d[i] = static_cast<int16_t>(std::clamp(product + d[i], -32768, 32767));
  }
}

// One plane of `count` samples by the format's rule.
void MixPlane(uint8_t* destination, const uint8_t* source, int64_t count, AVSampleFormat packed, double volume) {
  if (packed == AV_SAMPLE_FMT_FLT) MixFloat<float>(destination, source, count, static_cast<float>(volume));
  else if (packed == AV_SAMPLE_FMT_DBL) MixFloat<double>(destination, source, count, volume);
  else Mix16(destination, source, count, volume);
}

}  // namespace

void MixMusicSamples(uint8_t** destination, uint8_t** source, int sampleCount, int channelCount,
                     AVSampleFormat format) {
  if (!destination || !source || sampleCount <= 0 || channelCount <= 0) return;
  double volume;
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    volume = Engine().musicVolume;
  }
  const AVSampleFormat packed = av_get_packed_sample_fmt(format);
  if (!av_sample_fmt_is_planar(format)) {
    if (destination[0] && source[0])
      MixPlane(destination[0], source[0], static_cast<int64_t>(sampleCount) * channelCount, packed, volume);
    return;
  }
  for (int channel = 0; channel < channelCount; ++channel)
    if (destination[channel] && source[channel]) MixPlane(destination[channel], source[channel], sampleCount, packed, volume);
}

void OffsetPlanes(uint8_t* const* planes, int offset, int channelCount, AVSampleFormat format, uint8_t** out) {
  const bool planar = av_sample_fmt_is_planar(format);
  const size_t step = static_cast<size_t>(offset) * av_get_bytes_per_sample(format) * (planar ? 1 : channelCount);
  const int used = planar ? channelCount : 1;
  for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) out[i] = i < used && planes[i] ? planes[i] + step : nullptr;
}

}  // namespace capmill
