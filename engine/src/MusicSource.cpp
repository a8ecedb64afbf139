#include "src/MusicSource.h"

#include <algorithm>
#include <atomic>

#include "platform/Log.h"
#include "src/MusicMixing.h"
#include "src/SampleBuffer.h"

namespace capmill {
namespace {

// Music frames mixed since the library was loaded; it only thins out a
// debug line.
std::atomic<int> musicFramesMixed{0};

}  // namespace

MusicSource::MusicSource(MediaInput& music, const AVCodecContext* encoder) : music_(music), encoder_(encoder) {
  const AVCodecContext* decoder = music.av_cntx_in;
  AVChannelLayout outLayout, inLayout;
  av_channel_layout_default(&outLayout, encoder->ch_layout.nb_channels);
  av_channel_layout_default(&inLayout, decoder->ch_layout.nb_channels);
  const int code = swr_alloc_set_opts2(&resampler_, &outLayout, encoder->sample_fmt, encoder->sample_rate, &inLayout,
                                       decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
  if (code < 0 || !resampler_) {
    swr_free(&resampler_);
    log::Debug(log::Format(512, "ERROR: Cannot allocate music resample context (error: %d), falling back to mic only\n", code));
    return;
  }
  if (swr_init(resampler_) < 0) {
    log::Debug("ERROR: Cannot initialize music resample context, falling back to mic only\n");
    swr_free(&resampler_);
    return;
  }
  carried_ = av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels, 1);
  packet_ = av_packet_alloc();
  frame_ = av_frame_alloc();
  if (!carried_ || !packet_ || !frame_) throw CaptureError("Could not allocate converted input sample pointersn");
  log::DebugAndErrLine("Music resample context initialized successfully");
}

MusicSource::~MusicSource() {
  swr_free(&resampler_);
  if (carried_) av_audio_fifo_free(carried_);
  av_packet_free(&packet_);
  av_frame_free(&frame_);
}

int MusicSource::HeldSamples() const {
  const int fifo = carried_ ? av_audio_fifo_size(carried_) : 0;
  return fifo + (resampler_ ? static_cast<int>(swr_get_delay(resampler_, encoder_->sample_rate)) : 0);
}

// The next packet of the music stream; at the end the music starts again.
bool MusicSource::ReadPacket() {
  bool rewound = false;
  for (;;) {
    const int code = av_read_frame(music_.ifmt_ctx, packet_);
    if (code == AVERROR_EOF) {
      if (rewound) {
        finished_ = true;
        return false;
      }
      if (av_seek_frame(music_.ifmt_ctx, music_.streamIndex, 0, AVSEEK_FLAG_BACKWARD) < 0) {
        finished_ = true;
        return false;
      }
      avcodec_flush_buffers(music_.av_cntx_in);
      rewound = true;
      continue;
    }
    if (code < 0) return false;
    if (packet_->stream_index == music_.streamIndex) return true;
    av_packet_unref(packet_);  // another stream's packet
  }
}

// Decodes the next music frame into frame_; false when there is none for
// this block.
bool MusicSource::NextFrame() {
  for (;;) {
    const int code = avcodec_receive_frame(music_.av_cntx_in, frame_);
    if (code >= 0) return true;
    if (code != AVERROR(EAGAIN) && code != AVERROR_EOF) return false;
    if (!ReadPacket()) return false;
    const int sent = avcodec_send_packet(music_.av_cntx_in, packet_);
    av_packet_unref(packet_);
    if (sent < 0) return false;
  }
}

// Converts the decoded music frame and keeps all the converter gives.
void MusicSource::Convert(int blockSamples, int remaining) {
  const int number = ++musicFramesMixed;
  if (number <= 10 || number % 100 == 0)
    log::Debug(log::Format(512, "Mixing music frame #%d (nb_samples=%d, mic_samples=%d, remaining=%d)\n", number,
                           frame_->nb_samples, blockSamples, remaining));
  const int capacity = std::max(1, swr_get_out_samples(resampler_, frame_->nb_samples));
  SampleBuffer converted(encoder_->ch_layout.nb_channels, capacity, encoder_->sample_fmt);
  const int produced = swr_convert(resampler_, converted.data(), capacity,
                                   const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
  av_frame_unref(frame_);
  if (produced < 0) {
    log::Debug(log::Format(512, "Warning: Error resampling music: %d\n", produced));
    return;
  }
  largestFrame_ = std::max(largestFrame_, produced);
  if (produced > 0 && av_audio_fifo_write(carried_, reinterpret_cast<void**>(converted.data()), produced) < produced)
    throw CaptureError("Could not write data to FIFOn");
}

void MusicSource::MixInto(uint8_t** block, int count) {
  if (!ok()) return;
  const AVSampleFormat format = encoder_->sample_fmt;
  const int channels = encoder_->ch_layout.nb_channels;
  int mixed = 0;
  while (mixed < count) {
    if (av_audio_fifo_size(carried_) == 0) {
      if (finished_ || !NextFrame()) return;
      Convert(count, count - mixed);
      continue;
    }
    const int n = std::min(count - mixed, av_audio_fifo_size(carried_));
    SampleBuffer music(channels, n, format);
    if (av_audio_fifo_read(carried_, reinterpret_cast<void**>(music.data()), n) < n) return;
    uint8_t* destination[AV_NUM_DATA_POINTERS];
    OffsetPlanes(block, mixed, channels, format, destination);
    MixMusicSamples(destination, music.data(), n, channels, format);
    mixed += n;
  }
}

}  // namespace capmill
