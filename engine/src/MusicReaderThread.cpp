// The music pipeline's reader: decodes the music file on its own opening of
// it, loops it, stamps every frame with music time and queues a reference to
// it for the playback thread and one for the mixing thread, keeping about
// half a second ahead of the recording.
#include <algorithm>
#include <cinttypes>

#include "platform/Log.h"
#include "src/CaptureThreads.h"
#include "src/MusicPipeline.h"

namespace capmill {
namespace {

constexpr int kWaitSteps = 1000;  // of 10 ms: ten seconds
constexpr int64_t kLeadMs = 500;
constexpr int kLongestPacingSleepMs = 49;

bool Stopping(const ReaderContext& context) { return context.loopBreaker || Engine().stopRequested; }

// Keeps a blocking read of the file (a slow network share, a stream) from
// outliving the pipeline.
int InterruptOnStop(void* opaque) { return Stopping(*static_cast<const ReaderContext*>(opaque)) ? 1 : 0; }

// Opens the file and its first audio stream's decoder into the context;
// false (after the reason is logged) when that cannot be done.
bool OpenMusic(const std::string& path, ReaderContext& context) {
  AVFormatContext* demuxer = avformat_alloc_context();
  if (!demuxer) {
    log::Debug(log::Format(1024, "ERROR: MusicFileReaderThread - cannot open music file: %s\n", path.c_str()));
    return false;
  }
  demuxer->interrupt_callback = {InterruptOnStop, &context};
  if (avformat_open_input(&demuxer, path.c_str(), nullptr, nullptr) < 0) {
    log::Debug(log::Format(1024, "ERROR: MusicFileReaderThread - cannot open music file: %s\n", path.c_str()));
    return false;
  }
  context.demuxer = demuxer;
  if (avformat_find_stream_info(demuxer, nullptr) < 0) {
    log::Debug("ERROR: MusicFileReaderThread - cannot find stream info\n");
    return false;
  }
  for (unsigned i = 0; i < demuxer->nb_streams; ++i)
    if (demuxer->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      context.streamIndex = static_cast<int>(i);
      break;
    }
  if (context.streamIndex < 0) {
    log::Debug("ERROR: MusicFileReaderThread - no audio stream found\n");
    return false;
  }
  const AVCodecParameters* parameters = demuxer->streams[context.streamIndex]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
  if (!codec) {
    log::Debug("ERROR: MusicFileReaderThread - codec not found\n");
    return false;
  }
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  if (!decoder) {
    log::Debug("ERROR: MusicFileReaderThread - cannot allocate codec context\n");
    return false;
  }
  if (avcodec_parameters_to_context(decoder, parameters) < 0) {
    log::Debug("ERROR: MusicFileReaderThread - cannot copy codec parameters\n");
    avcodec_free_context(&decoder);
    return false;
  }
  if (avcodec_open2(decoder, codec, nullptr) < 0) {
    log::Debug("ERROR: MusicFileReaderThread - cannot open codec\n");
    avcodec_free_context(&decoder);
    return false;
  }
  context.decoder = decoder;
  return true;
}

// The file's duration as the container states it; only reported, since an
// estimate (an MP3's) is often off by tens of milliseconds.
long long StatedDurationMs(const ReaderContext& context) {
  if (context.demuxer->duration > 0) return context.demuxer->duration / 1000;
  const AVStream* stream = context.demuxer->streams[context.streamIndex];
  if (stream->duration > 0 && stream->time_base.den > 0)
    return stream->duration * stream->time_base.num * 1000 / stream->time_base.den;
  return 0;
}

// Keeps the reader about half a second ahead of the recording.
class Pacing {
 public:
  void Queued(const ReaderContext& context, int samples, int rate) {
    if (rate < 1) return;
    const std::optional<int64_t> now = RecordingTimeMs();
    if (!now) return;
    if (!started_) {
      startMs_ = *now;
      samplesQueued_ = 0;
      started_ = true;
    }
    samplesQueued_ += samples;
    // In short steps, so a stop is seen at once, until the lead is back
    // within its limit: music whose frames are long (FLAC's 100 ms) would
    // otherwise never wait.
    for (;;) {
      const std::optional<int64_t> time = RecordingTimeMs();
      if (!time || Stopping(context)) return;
      // Paced from the first frame on: within the first millisecond a fast
      // decoder could otherwise queue seconds of music.
      const int64_t elapsed = std::max<int64_t>(0, *time - startMs_);
      const int64_t ahead = samplesQueued_ - rate * elapsed / 1000;
      const int64_t limit = rate * kLeadMs / 1000;
      if (ahead <= limit) return;
      const int64_t ms = (ahead - limit) * 1000 / rate;
      if (ms < 1) return;
      SleepMs(static_cast<int>(std::min<int64_t>(ms, kLongestPacingSleepMs)));
    }
  }

 private:
  bool started_ = false;
  int64_t startMs_ = 0;
  int64_t samplesQueued_ = 0;
};

// Decodes, loops and queues until the pipeline stops.
class Reader {
 public:
  Reader(ReaderContext& context, AVPacket* packet, AVFrame* frame)
      : context_(context), decoder_(context.decoder.load()), packet_(packet), frame_(frame) {}

  void Run() {
    while (!context_.loopBreaker) {
      if (!Step()) break;
      if (Engine().stopRequested) break;
    }
  }

 private:
  // One pass of the loop; false ends it.
  bool Step() {
    if (RecordingPaused()) {
      av_packet_unref(packet_);
      SleepMs(10);
      return true;
    }
    const int received = avcodec_receive_frame(decoder_, frame_);
    if (received == AVERROR(EAGAIN)) return Feed();
    if (received == AVERROR_EOF) return Rewind();
    if (received < 0) {
      SleepMs(10);
      return true;
    }
    Queue();
    return true;
  }

  // Gives the decoder the next packet of the music stream; at the end of the
  // file, starts it again. The decoder is not drained there: what a drain
  // gives is the encoder's padding, a gap at every pass.
  bool Feed() {
    const int read = av_read_frame(context_.demuxer, packet_);
    if (read == AVERROR_EOF) return Rewind();
    if (read < 0) {
      SleepMs(10);
      return true;
    }
    if (packet_->stream_index == context_.streamIndex) avcodec_send_packet(decoder_, packet_);
    av_packet_unref(packet_);
    return true;
  }

  bool Rewind() {
    // A file without a single decodable frame would be rewound forever.
    if (framesThisLoop_ == 0) {
      log::Debug("MusicFileReaderThread: No audio decoded in a whole pass of the file, ending\n");
      return false;
    }
    if (av_seek_frame(context_.demuxer, context_.streamIndex, 0, AVSEEK_FLAG_BACKWARD) < 0) return false;
    avcodec_flush_buffers(decoder_);
    framesThisLoop_ = 0;
    ++loops_;
    log::Debug(log::Format(256, "MusicFileReaderThread: Looping back to start (loop #%lld)\n", loops_));
    return true;
  }

  // Stamps the frame and hands a reference to each consumer. Music time is
  // counted in samples, so each pass of the file starts where the previous
  // one's sound ended, whatever the container says its length is.
  void Queue() {
    const int rate = frame_->sample_rate > 0 ? frame_->sample_rate : decoder_->sample_rate;
    if (rate < 1 || frame_->nb_samples < 1) {
      av_frame_unref(frame_);
      return;
    }
    const int64_t timestamp = static_cast<int64_t>(musicMs_);
    musicMs_ += frame_->nb_samples * 1000.0 / rate;
    context_.playbackQueue.Push(FramePtr(av_frame_clone(frame_)), timestamp);
    context_.mixingQueue.Push(FramePtr(av_frame_clone(frame_)), timestamp);
    ++framesThisLoop_;
    const int samples = frame_->nb_samples;
    av_frame_unref(frame_);
    pacing_.Queued(context_, samples, decoder_->sample_rate);
  }

  ReaderContext& context_;
  AVCodecContext* decoder_;
  AVPacket* packet_;
  AVFrame* frame_;
  long long loops_ = 0;
  int64_t framesThisLoop_ = 0;
  double musicMs_ = 0;
  Pacing pacing_;
};

}  // namespace

void MusicFileReaderThread(const std::string& path, ReaderContext* context) {
  if (path.empty() || !context) {
    log::DebugAndErr("ERROR: MusicFileReaderThread - invalid parameters\n");
    return;
  }
  log::DebugAndErr(log::Format(1024, "MusicFileReaderThread: Starting file reader thread for: %s\n", path.c_str()));
  if (!OpenMusic(path, *context)) return;
  const AVCodecContext* decoder = context->decoder.load();
  log::Debug(log::Format(512,
                         "MusicFileReaderThread: Opened file (sample rate: %d, channels: %d, duration: %lld ms) - "
                         "Codec context ready!\n",
                         decoder->sample_rate, decoder->ch_layout.nb_channels, StatedDurationMs(*context)));

  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  if (!packet || !frame) {
    log::Debug("ERROR: MusicFileReaderThread - failed to allocate packets/frames\n");
  } else {
    bool stopped = false;
    for (int i = 0; i < kWaitSteps && !RecordingClockActive(); ++i) {
      if ((stopped = Stopping(*context))) break;
      SleepMs(10);
    }
    if (!stopped) {
      log::Debug("MusicFileReaderThread: Starting to read and queue frames\n");
      if (!Engine().stopRequested) Reader(*context, packet, frame).Run();
    }
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  log::Debug("MusicFileReaderThread: Exiting\n");
}

}  // namespace capmill
