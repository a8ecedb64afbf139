// Adding background music to converted microphone samples.
#pragma once

extern "C" {
#include <libavutil/frame.h>
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

// The plane pointers of samples that start `offset` samples into the given
// ones (out holds AV_NUM_DATA_POINTERS entries; unused ones are null).
void OffsetPlanes(uint8_t* const* planes, int offset, int channelCount, AVSampleFormat format, uint8_t** out);

}  // namespace capmill
