#include <algorithm>
#include <optional>
#include <vector>

#include "platform/CaptureDevices.h"
#include "platform/Log.h"
#include "src/AudioTimeline.h"
#include "src/CaptureThreads.h"
#include "src/SampleBuffer.h"
#include "src/SourceWatch.h"
#include "src/ResourceMonitor.h"
#include "src/StreamTargets.h"

namespace capmill {
namespace {

// Reports that differ between the running loop and the flushes.
struct PacketTexts {
  const char* receiveError;  // null: not reported
  bool receiveCode;          // the error code follows receiveError
  const char* writeError;    // null: direct write failures are not reported
  const char* sendError;     // null: not reported
};
constexpr PacketTexts kRunningTexts{"Error during encoding", false, "Error in writing audio frame, error code: ",
                                    "Cannot encode current audio packet, error: "};
constexpr PacketTexts kFlushTexts{"Error receiving flushed audio packet: ", true, "Error writing flushed audio frame: ",
                                  "Error encoding flushed audio frame: "};
constexpr PacketTexts kFinalTexts{"Error receiving flushed audio packet: ", true, nullptr, nullptr};
// The mixing thread's flush ends silently on errors.
constexpr PacketTexts kQuietTexts{nullptr, false, nullptr, nullptr};

// Writes one encoded packet (in the encoder's time base) to the input's track.
void WritePacket(MediaInput& input, const PacketTexts& texts) {
  AVStream* track = input.output->context()->streams[input.outputStream->index];
  av_packet_rescale_ts(input.outputPacket, input.encoderContext->time_base, track->time_base);
  input.outputPacket->stream_index = input.outputStream->index;
  if (HaveStreamTargets()) {
    RoutePacket(input.outputPacket, input.outputStream, input);
  } else {
    const int written = input.output->WritePacket(input.outputPacket);
    // A file that refused a write for good has said so once, and the recording is ending.
    if (written < 0 && texts.writeError && !input.output->failed())
      log::ErrLine(texts.writeError + std::to_string(written));
  }
  av_packet_unref(input.outputPacket);
}

// Receives every packet the encoder has ready and writes each one.
void WriteEncodedPackets(MediaInput& input, const PacketTexts& texts) {
  AVCodecContext* encoder = input.encoderContext;
  for (;;) {
    const int code = avcodec_receive_packet(encoder, input.outputPacket);
    if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) return;
    if (code < 0) {
      if (texts.receiveError)
        log::ErrLine(std::string(texts.receiveError) + (texts.receiveCode ? std::to_string(code) : ""));
      return;
    }
    WritePacket(input, texts);
  }
}

// A frame record for whole encoder frames; null when it cannot be made.
AVFrame* NewEncoderFrame(const AVCodecContext* encoder) {
  AVFrame* frame = av_frame_alloc();
  if (!frame) return nullptr;
  frame->nb_samples = encoder->frame_size;
  av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout);
  frame->format = encoder->sample_fmt;
  frame->sample_rate = encoder->sample_rate;
  if (av_frame_get_buffer(frame, 0) < 0) av_frame_free(&frame);
  return frame;
}

// Encodes every whole frame the FIFO holds. The running loop goes on past a
// refused frame; a flush ends there.
void EncodeWholeFrames(MediaInput& input, int64_t& samplesSent, const PacketTexts& texts) {
  AVCodecContext* encoder = input.encoderContext;
  const int frameSize = encoder->frame_size;
  const bool running = &texts == &kRunningTexts;
  while (av_audio_fifo_size(input.audioFifo) >= frameSize) {
    av_frame_make_writable(input.convertedFrame);
    const bool readOk = av_audio_fifo_read(input.audioFifo, reinterpret_cast<void**>(input.convertedFrame->data),
                                           frameSize) >= frameSize;
    input.convertedFrame->pts = samplesSent;
    samplesSent += frameSize;
    if (int code = avcodec_send_frame(encoder, input.convertedFrame); code < 0) {
      if (running) {
        log::Out(texts.sendError + std::to_string(code) + "\n");
        continue;
      }
      if (texts.sendError) log::ErrLine(texts.sendError + std::to_string(code));
      return;
    }
    if (!readOk) continue;
    WriteEncodedPackets(input, texts);
  }
}

// The decoded frame's capture time on the recording clock (pauses taken
// out), when the device tells it.
std::optional<double> CaptureTimeMs(MediaInput& input) {
  const std::optional<int64_t> ageUs = platform::CaptureAgeUs(input.ifmt_ctx, input.decodedFrame->pts);
  if (!ageUs) return std::nullopt;
  std::lock_guard<std::mutex> hold(Engine().lock);
  const RecordingClock* clock = Engine().activeClock ? Engine().activeClock : input.clock;
  const int64_t captured = NowTicks() - *ageUs * (kTicksPerMs / 1000);
  return static_cast<double>(captured - clock->start) / kTicksPerMs - static_cast<double>(clock->pausedTotalMs);
}

// Owns `count` samples of silence in the encoder's format.
class Silence : public SampleBuffer {
 public:
  Silence(const AVCodecContext* encoder, int count)
      : SampleBuffer(encoder->ch_layout.nb_channels, count, encoder->sample_fmt) {
    av_samples_set_silence(data(), 0, count, encoder->ch_layout.nb_channels, encoder->sample_fmt);
  }
};

// Appends silence to the FIFO, in pieces of at most a second. Music, when
// given, plays on through it: a gap in the microphone is not a pause.
void FifoWriteSilence(MediaInput& input, int64_t count, const MixStep& mix = {}, int64_t atMs = 0) {
  const int piece = std::max(1, input.encoderContext->sample_rate);
  while (count > 0) {
    const int n = static_cast<int>(std::min<int64_t>(count, piece));
    Silence silence(input.encoderContext, n);
    if (mix) mix(silence.data(), n, atMs);
    atMs += 1000;
    FifoWrite(input, silence.data(), n);
    count -= n;
  }
}

// Puts silence ahead of everything the FIFO holds.
void FifoPrependSilence(MediaInput& input, int64_t count) {
  const int held = av_audio_fifo_size(input.audioFifo);
  SampleBuffer heldSamples(input.encoderContext->ch_layout.nb_channels, std::max(1, held),
                           input.encoderContext->sample_fmt);
  if (held > 0 && av_audio_fifo_read(input.audioFifo, reinterpret_cast<void**>(heldSamples.data()), held) < held)
    throw CaptureError("Could not write data to FIFOn");
  FifoWriteSilence(input, count);
  if (held > 0) FifoWrite(input, heldSamples.data(), held);
}

// Where the track stands: samples encoded, waiting in the FIFO and inside
// the resampler.
int64_t QueuedSamples(MediaInput& input, int64_t samplesSent) {
  return samplesSent + av_audio_fifo_size(input.audioFifo) +
         std::max<int64_t>(0, swr_get_delay(input.resampler, input.encoderContext->sample_rate));
}

// The timeline found where the held sound begins: drop what came before
// the start, put silence ahead of the rest.
void ApplyHeldStep(MediaInput& input, const AudioTimeline::Step& step) {
  if (step.dropHeld > 0)
    av_audio_fifo_drain(input.audioFifo,
                        static_cast<int>(std::min<int64_t>(step.dropHeld, av_audio_fifo_size(input.audioFifo))));
  if (step.leadSilence > 0) FifoPrependSilence(input, step.leadSilence);
}

// Places the decoded frame on the timeline: drops or pads as the timeline
// says, resamples what stays into the FIFO and encodes every whole frame it
// then holds (none while the device's start is still being found).
void ProcessDecodedFrame(MediaInput& input, AudioTimeline& timeline, int& compensation, int64_t& samplesSent,
                         const MixStep& mix) {
  AVCodecContext* encoder = input.encoderContext;
  AVFrame* decoded = input.decodedFrame;
  input.output->SetStartTimeOnce(input.outputStream->index, decoded->pts);

  const int n = decoded->nb_samples;
  const std::optional<double> captured = CaptureTimeMs(input);
  const AudioTimeline::Step step = timeline.Place(captured, n, QueuedSamples(input, samplesSent));
  // When the block's sound was captured, for music that follows the
  // recording's time; without the device's word, now. Only mixing asks.
  const int64_t capturedMs = !mix ? 0 : captured ? static_cast<int64_t>(*captured) : RecordingTimeMs().value_or(0);
  int skip = step.skip;
  const int held = av_audio_fifo_size(input.audioFifo);
  if (step.dropHeld > held)  // the rest of what came before the start is in this frame
    skip = static_cast<int>(std::min<int64_t>(n, skip + step.dropHeld - held));
  ApplyHeldStep(input, step);
  if (step.silence > 0)
    FifoWriteSilence(input, step.silence, mix, capturedMs - step.silence * 1000 / encoder->sample_rate);
  // A compensation lasts for its distance only: renew it with every frame.
  // The resampler is switched into resampling by the first one; sound that
  // never needs one keeps the plain conversion.
  if ((step.compensationPerSecond != 0 || compensation != 0) &&
      swr_set_compensation(input.resampler, step.compensationPerSecond, encoder->sample_rate) >= 0)
    compensation = step.compensationPerSecond;

  const int count = n - skip;
  if (count > 0) {
    const AVSampleFormat format = static_cast<AVSampleFormat>(decoded->format);
    const int channels = decoded->ch_layout.nb_channels;
    const int planes = av_sample_fmt_is_planar(format) ? channels : 1;
    const int skipBytes = skip * av_get_bytes_per_sample(format) * (planes == 1 ? channels : 1);
    std::vector<const uint8_t*> source(planes);
    for (int i = 0; i < planes; ++i) source[i] = decoded->extended_data[i] + skipBytes;

    const int capacity = std::max(count, swr_get_out_samples(input.resampler, count));
    SampleBuffer converted(encoder->ch_layout.nb_channels, capacity, encoder->sample_fmt);
    const int convertedCount = swr_convert(input.resampler, converted.data(), capacity, source.data(), count);
    // Only what the resampler produced is real audio.
    if (convertedCount > 0) {
      if (mix) mix(converted.data(), convertedCount, capturedMs + skip * 1000 / std::max(1, decoded->sample_rate));
      FifoWrite(input, converted.data(), convertedCount);
    }
  }
  if (step.hold) return;

  av_packet_unref(input.outputPacket);
  av_frame_free(&input.convertedFrame);
  input.convertedFrame = NewEncoderFrame(encoder);
  if (!input.convertedFrame) {
    log::ErrLine("Cannot allocate an AVPacket for encoded video");
    return;
  }
  EncodeWholeFrames(input, samplesSent, kRunningTexts);
  av_frame_free(&input.convertedFrame);
  av_packet_unref(input.outputPacket);
}

// Ends the encoder's stream and writes every packet it still holds.
void DrainEncoder(MediaInput& input, const PacketTexts& texts) {
  SendEndOfStream(input.encoderContext, input.outputPacket, [&] { WritePacket(input, texts); });
  WriteEncodedPackets(input, texts);
}

// Encodes what the FIFO holds, the last part as a short frame.
void FlushFifo(MediaInput& input, int64_t& samplesSent, bool reports) {
  const int held = av_audio_fifo_size(input.audioFifo);
  if (held <= 0) return;
  log::ErrLine("Flushing " + std::to_string(held) + " samples from FIFO...");
  av_frame_free(&input.convertedFrame);
  input.convertedFrame = NewEncoderFrame(input.encoderContext);
  if (input.convertedFrame) {
    EncodeWholeFrames(input, samplesSent, reports ? kFlushTexts : kQuietTexts);
    const int rest = av_audio_fifo_size(input.audioFifo);
    if (rest > 0) {
      if (reports) log::ErrLine("Flushing final " + std::to_string(rest) + " samples from FIFO...");
      av_frame_make_writable(input.convertedFrame);
      input.convertedFrame->nb_samples = rest;
      if (av_audio_fifo_read(input.audioFifo, reinterpret_cast<void**>(input.convertedFrame->data), rest) >= rest) {
        input.convertedFrame->pts = samplesSent;
        samplesSent += rest;
        avcodec_send_frame(input.encoderContext, input.convertedFrame);
      }
    }
  }
  av_frame_free(&input.convertedFrame);
  log::ErrLine("FIFO flush completed. Remaining samples: " + std::to_string(av_audio_fifo_size(input.audioFifo)));
}

void EndAudioCapture(MediaInput& input, int64_t& samplesSent, const AudioThreadTexts& texts) {
  log::ErrLine(texts.stopping);
  FlushFifo(input, samplesSent, texts.flushReports);
  // Drained in every case: frames still inside the encoder would be lost.
  DrainEncoder(input, texts.flushReports ? kFinalTexts : kQuietTexts);
  // An audio file of its own is finished here; the streams are finished by
  // the screen thread, after both threads' last packets.
  if (input.kind != kSharedFileAudio && (!input.output || (input.output->Finish() < 0 && !input.output->failed())))
    log::Out("\nerror in writing av trailer");
  log::ErrLine(texts.ending);
}

}  // namespace

const AudioThreadTexts kMicTexts{"Audio thread starting...",
                                 "audio frame",
                                 "Audio input reached end of file",
                                 "Audio thread stopping, flushing remaining FIFO data...",
                                 true,
                                 "Audio thread ending normally"};

void RunAudioCapture(MediaInput& input, const AudioThreadTexts& texts, const MixStep& mix) {
  if (texts.starting) log::ErrLine(texts.starting);
  AudioTimeline timeline(input.encoderContext->sample_rate, kDefaultAudioDelayMs);
  int64_t samplesSent = timeline.FirstSample();
  int compensation = 0;
  CaptureReader reader(texts.frameName, texts.endOfInput);
  const SourceWatch watch(input);
  while (!Engine().stopRequested) {
    const CaptureReader::Result read = reader.Read(input);
    if (read == CaptureReader::Result::End) break;
    if (read == CaptureReader::Result::Retry) continue;
    watch.Delivered();

    try {
      if (!CheckSystemResources()) {
        int level;
        {
          std::lock_guard<std::mutex> hold(Engine().lock);
          level = Engine().adaptiveQualityLevel;
        }
        if (level >= 1) SleepMs(1);
      }
    } catch (...) {
      log::ErrLine("System resource checking failed, continuing with normal audio processing");
    }

    if (int code = avcodec_send_packet(input.av_cntx_in, input.inputPacket); code < 0) {
      log::Out("Cannot decode current audio packet " + std::to_string(code) + "\n");
      av_packet_unref(input.inputPacket);
      continue;
    }
    for (;;) {
      const int code = avcodec_receive_frame(input.av_cntx_in, input.decodedFrame);
      if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) break;
      if (code < 0) {
        log::ErrLine("Error during decoding");
        break;
      }
      ProcessDecodedFrame(input, timeline, compensation, samplesSent, mix);
    }
    av_packet_unref(input.inputPacket);
  }
  ApplyHeldStep(input, timeline.Settle());
  EndAudioCapture(input, samplesSent, texts);
}

void FifoWrite(MediaInput& input, uint8_t** samples, int count) {
  if (av_audio_fifo_realloc(input.audioFifo, av_audio_fifo_size(input.audioFifo) + count) < 0)
    throw CaptureError("Could not reallocate FIFOn");
  if (av_audio_fifo_write(input.audioFifo, reinterpret_cast<void**>(samples), count) < count)
    throw CaptureError("Could not write data to FIFOn");
}

void MicCaptureThread(MediaInput& input) {
  try {
    RunAudioCapture(input, kMicTexts, {});
  } catch (...) {
    av_frame_free(&input.convertedFrame);
    log::ErrLine("Audio thread crashed, but continuing...");
    FinishOwnAudioFile(input);
  }
}

void FinishOwnAudioFile(MediaInput& input) {
  // What was written up to the failure stays playable.
  if (input.kind != kSharedFileAudio && input.output) input.output->Finish();
}

}  // namespace capmill
