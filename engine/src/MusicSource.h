// The background music of a recording: decoded from its file, looped,
// converted to the recording's audio format and handed out sample by sample.
#pragma once

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
}

#include "src/MediaInput.h"

namespace capmill {

class MusicSource {
 public:
  // music: the opened music input (demuxer and decoder); encoder: the
  // microphone's audio encoder. Creates the converter; ok() tells whether it
  // could be made (the failure is reported).
  MusicSource(MediaInput& music, const AVCodecContext* encoder);
  ~MusicSource();
  MusicSource(const MusicSource&) = delete;
  MusicSource& operator=(const MusicSource&) = delete;
  bool ok() const { return resampler_ != nullptr; }

  // Mixes the next `count` music samples into the block (in the encoder's
  // format) at the music volume. Every music sample is mixed once, in order:
  // what one block does not take waits for the next.
  void MixInto(uint8_t** block, int count);

  // Music converted but not mixed yet, plus what the converter holds back.
  int HeldSamples() const;
  bool finished() const { return finished_; }
  // The most samples one music frame gave after conversion so far.
  int largestFrame() const { return largestFrame_; }

 private:
  bool NextFrame();
  bool ReadPacket();
  void Convert(int blockSamples, int remaining);

  MediaInput& music_;
  const AVCodecContext* encoder_;
  SwrContext* resampler_ = nullptr;
  AVAudioFifo* carried_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  bool finished_ = false;
  int largestFrame_ = 0;
};

}  // namespace capmill
