// H.264 parameter sets carried in-band by key frames.
#pragma once

#include <cstdint>
#include <string>

struct AVCodecParameters;

namespace capmill {

// The SPS and PPS units of an Annex B packet, each behind a 4-byte start code
// (empty when the packet carries none).
std::string ExtractParameterSets(const uint8_t* data, int size);

// Replaces the parameters' extradata with the bytes; negative on failure.
int SetExtradata(AVCodecParameters* parameters, const std::string& bytes);

}  // namespace capmill
