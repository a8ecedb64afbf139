// Encoders and the output file of a MediaInput.
#pragma once

#include "src/MediaInput.h"

namespace capmill {

// Chooses or creates the container for path (inputs of one recording share
// the engine's container; "_temp" or another path gets one of its own), adds
// this input's track and configures its encoder.
void OpenOutput(MediaInput& input, const std::string& path);
// Opens the encoder with the options (may be null).
void OpenEncoder(MediaInput& input, AVDictionary** options);
// Opens the file and writes the container header (kind 2 only opens nothing).
void WriteHeader(MediaInput& input);
void SetupScaler(MediaInput& input);
void SetupResampler(MediaInput& input);

// Finishes a stream target's container; failures are reported, not raised.
void WriteStreamTrailer(AVFormatContext* container);
// Closes the container's file if open, frees it and empties the holder.
void ReleaseOutputContext(AVFormatContext*& holder);

// The options every recording opens its video encoder with.
AVDictionary* VideoEncoderOptions(const std::string& crfText);

}  // namespace capmill
