// Adding background music to converted microphone samples.
#pragma once

extern "C" {
#include <libavutil/samplefmt.h>
}

#include <cstdint>

namespace capmill {

// Adds every source sample times the engine's music volume (read once, under
// EngineLock) to the destination sample in place. Planes: one per channel for
// a planar format (a missing one is skipped), one interleaved for a packed
// format. Float samples are clamped to -1..1; every other format is taken as
// signed 16-bit, the product truncated toward zero before the addition and
// the sum clamped to the 16-bit range.
void MixMusicSamples(uint8_t** destination, uint8_t** source, int sampleCount, int channelCount,
                     AVSampleFormat format);

}  // namespace capmill
