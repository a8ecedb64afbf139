// Samples of all channels in one block, in one sample format.
#pragma once

extern "C" {
#include <libavutil/samplefmt.h>
}

#include "src/MediaInput.h"

namespace capmill {

class SampleBuffer {
 public:
  // Throws CaptureError with the design's texts when memory is short.
  SampleBuffer(int channels, int samples, AVSampleFormat format) {
    if (av_samples_alloc_array_and_samples(&data_, nullptr, channels, samples, format, 0) < 0) {
      if (!data_) throw CaptureError("Could not allocate converted input sample pointersn");
      throw CaptureError("Cannot allocate memory for the samples of all channels in one consecutive block for convenience");
    }
  }
  ~SampleBuffer() {
    if (data_) av_freep(&data_[0]);
    av_freep(&data_);
  }
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;
  uint8_t** data() { return data_; }

 private:
  uint8_t** data_ = nullptr;
};

}  // namespace capmill
