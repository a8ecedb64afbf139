// The music pipeline's playback and mixing threads, and its start and
// teardown.
#include "src/MusicPipeline.h"

#include <cinttypes>

#include "platform/Log.h"
#include "src/CaptureThreads.h"
#include "src/PlaybackDevice.h"

namespace capmill {
namespace {

constexpr int kWaitSteps = 1000;  // of 10 ms: ten seconds
constexpr int kMaxPlaybackSamples = 100000;
constexpr int kFramesLogged = 5;
constexpr std::chrono::milliseconds kQueueWait{10};

enum class Waited { Ready, Stopped, TimedOut };

// Waits up to ten seconds for something another thread provides, in 10 ms
// steps that notice a stop.
template <class Ready, class Stop>
Waited WaitUntil(Ready ready, Stop stop) {
  for (int i = 0; i < kWaitSteps; ++i) {
    if (stop()) return Waited::Stopped;
    if (ready()) return Waited::Ready;
    SleepMs(10);
  }
  return ready() ? Waited::Ready : Waited::TimedOut;
}

// Whether a device with `room` free frames takes the whole frame. A frame
// larger than the device's whole buffer is written anyway (cut to fit), or
// it would block the queue for good.
bool DeviceTakes(const AVFrame& frame, const AVCodecContext& decoder, uint32_t bufferFrames, int rate, int64_t room) {
  if (rate < 1 || decoder.sample_rate < 1) return true;
  const int64_t needed = av_rescale_rnd(frame.nb_samples, rate, decoder.sample_rate, AV_ROUND_UP);
  return needed >= bufferFrames || room >= needed;
}

}  // namespace

ReaderContext::~ReaderContext() {
  playbackQueue.Clear();
  mixingQueue.Clear();
  AVCodecContext* opened = decoder.exchange(nullptr);
  avcodec_free_context(&opened);
  avformat_close_input(&demuxer);
}

void MusicPlaybackThread(ReaderContext* context) {
  if (!context) {
    log::DebugAndErr("ERROR: MusicPlaybackThread - invalid readerContext\n");
    return;
  }
  log::DebugAndErr("MusicPlaybackThread: Starting playback thread (consuming from queue)\n");
  const auto stopping = [&] { return context->loopBreaker || Engine().stopRequested; };
  const auto ready = [](Waited waited, const char* timedOut) {
    if (waited == Waited::Ready) return true;
    log::Debug(waited == Waited::TimedOut ? timedOut : "MusicPlaybackThread: Exiting early - loop breaker or stop flag\n");
    return false;
  };
  if (!ready(WaitUntil([&] { return context->decoder.load() != nullptr; }, stopping),
             "ERROR: MusicPlaybackThread - reader context not initialized after waiting\n") ||
      !ready(WaitUntil([] { return PlaybackDeviceFormat(nullptr, nullptr); }, stopping),
             "ERROR: MusicPlaybackThread - playback device not initialized after waiting\n"))
    return;
  log::Debug("MusicPlaybackThread: Resetting playback buffer to eliminate noise\n");
  ResetPlaybackDevice();
  log::Debug("MusicPlaybackThread: Reader and playback device ready, starting to consume from queue\n");
  const AVCodecContext* decoder = context->decoder.load();
  uint32_t bufferFrames = 0;
  int rate = 0;
  PlaybackDeviceFormat(&bufferFrames, &rate);
  int sent = 0;
  while (!Engine().stopRequested && !context->loopBreaker) {
    if (RecordingPaused()) {
      SleepMs(10);
      continue;
    }
    // A frame waits in the queue until the device has room for all of it:
    // written early, its end would be cut off. The device is asked before
    // the queue is locked: never one lock inside the other.
    const int64_t room = PlaybackDeviceRoom();
    std::optional<QueuedMusicFrame> item = context->playbackQueue.TakeFrontWhere([&](const QueuedMusicFrame& queued) {
      return DeviceTakes(*queued.frame, *decoder, bufferFrames, rate, room) ? MusicFrameQueue::Verdict::Take
                                                                           : MusicFrameQueue::Verdict::Leave;
    });
    if (!item) {
      context->playbackQueue.WaitFor(kQueueWait);
      if (context->playbackQueue.size() > 0) SleepMs(5);  // waiting for room, not for music
      continue;
    }
    const AVFrame* frame = item->frame.get();
    if (frame->data[0] && frame->nb_samples >= 1 && frame->nb_samples <= kMaxPlaybackSamples) {
      if (++sent <= kFramesLogged)
        log::Debug(log::Format(256, "MusicPlaybackThread: Sending frame #%d to playback device\n", sent));
      WritePlaybackFrame(frame, decoder);
    } else {
      log::Debug(log::Format(256, "MusicPlaybackThread: Invalid frame data (samples: %d)\n", frame->nb_samples));
    }
    item.reset();
    SleepMs(1);
  }
  log::Debug("MusicPlaybackThread: Exiting\n");
}

void MusicMixingThread(ReaderContext* context, MediaInput* audioMic, double /*volume: musicVolume rules*/,
                       std::unique_ptr<MixingContext>* owner) {
  if (!context) {
    log::Debug("ERROR: MusicMixingThread - readerContext is NULL\n");
    return;
  }
  if (!audioMic || !audioMic->encoderContext || !owner) {
    log::Debug("ERROR: MusicMixingThread - invalid audioMic context\n");
    return;
  }
  uint32_t bufferFrames = 0;
  int rate = 0;
  const int64_t playbackDelay = PlaybackDeviceFormat(&bufferFrames, &rate) && rate != 0
                                    ? static_cast<int64_t>(bufferFrames) * 1000 / rate
                                    : MixingContext::kDefaultPlaybackDelayMs;
  *owner = std::make_unique<MixingContext>(*audioMic, *context, playbackDelay);
  MixingContext& mixing = **owner;
  log::DebugAndErr(log::Format(512,
                               "MusicMixingThread: Starting mixing thread - playback delay=%lld ms, response "
                               "delay=%lld ms, total delay=%lld ms (will wait for reader context)\n",
                               static_cast<long long>(mixing.playbackDelayMs),
                               static_cast<long long>(mixing.responseDelayMs),
                               static_cast<long long>(mixing.totalDelayMs)));
  audioMic->mixingContext = &mixing;
  // Leaving unpublishes; the context itself stays until the teardown.
  const auto leave = [&](const char* line) {
    mixing.converting = false;
    audioMic->mixingContext = nullptr;
    mixing.readyList.Clear();
    log::Debug(line);
  };
  const auto stopping = [&] { return context->loopBreaker || Engine().stopRequested || mixing.stop; };

  switch (WaitUntil([&] { return context->decoder.load() != nullptr; }, stopping)) {
    case Waited::TimedOut:
      return leave("ERROR: MusicMixingThread - reader context not initialized after waiting\n");
    case Waited::Stopped:
      return leave("MusicMixingThread: Exiting early - loop breaker or stop flag\n");
    case Waited::Ready:
      break;
  }
  const AVCodecContext* decoder = context->decoder.load();
  const AVCodecContext* encoder = audioMic->encoderContext;
  AVChannelLayout outLayout, inLayout;
  av_channel_layout_default(&outLayout, encoder->ch_layout.nb_channels);
  av_channel_layout_default(&inLayout, decoder->ch_layout.nb_channels);
  const int code = swr_alloc_set_opts2(&mixing.resampler, &outLayout, encoder->sample_fmt, encoder->sample_rate,
                                       &inLayout, decoder->sample_fmt, decoder->sample_rate, 0, nullptr);
  if (code < 0 || !mixing.resampler)
    return leave(log::Format(256, "ERROR: Cannot allocate music resample context (error: %d)\n", code).c_str());
  if (swr_init(mixing.resampler) < 0) return leave("ERROR: Cannot initialize music resample context\n");

  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    if (!Engine().activeClock) log::Debug("WARNING: MusicMixingThread - global timer not set\n");
  }
  log::Debug("MusicMixingThread: Reader context ready, starting to consume from mixing queue\n");
  mixing.converting = true;
  int processed = 0;
  for (;;) {
    if (stopping()) return leave("MusicMixingThread: Exiting\n");
    if (RecordingPaused()) {
      SleepMs(10);
      continue;
    }
    std::optional<QueuedMusicFrame> item = context->mixingQueue.TakeFront();
    if (!item) {
      context->mixingQueue.WaitFor(kQueueWait);
      continue;
    }
    if (++processed <= kFramesLogged)
      log::Debug(log::Format(512,
                             "MusicMixingThread: Processing frame #%d (file ts: %lld, delayed ts: %lld, total "
                             "delay: %lld ms)\n",
                             processed, static_cast<long long>(item->timestamp),
                             static_cast<long long>(item->timestamp), static_cast<long long>(mixing.totalDelayMs)));
    const AVFrame* input = item->frame.get();
    // Room for everything the conversion gives: with a higher output rate
    // a frame's worth of room would leave the rest inside the converter,
    // and the music would fall further behind its timestamps each frame.
    const int capacity = std::max(input->nb_samples, swr_get_out_samples(mixing.resampler, input->nb_samples));
    FramePtr output(av_frame_alloc());
    if (!output) continue;
    output->format = encoder->sample_fmt;
    output->sample_rate = encoder->sample_rate;
    output->nb_samples = capacity;
    if (av_channel_layout_copy(&output->ch_layout, &encoder->ch_layout) < 0 || av_frame_get_buffer(output.get(), 0) < 0)
      continue;
    const int converted = swr_convert(mixing.resampler, output->data, capacity,
                                      const_cast<const uint8_t**>(input->extended_data), input->nb_samples);
    if (converted > 0) {
      output->nb_samples = converted;
      mixing.readyList.Push(std::move(output), item->timestamp);
    }
  }
}

MusicPipeline::MusicPipeline(const std::string& musicPath, MediaInput& mic, double volume)
    : mic_(mic), reader_(std::make_unique<ReaderContext>(musicPath)) {
  mic_.readerContext = reader_.get();
  ReaderContext* context = reader_.get();
  try {
    readerThread_ = std::thread(MusicFileReaderThread, musicPath, context);
    playbackThread_ = std::thread(MusicPlaybackThread, context);
    mixingThread_ = std::thread(MusicMixingThread, context, &mic_, volume, &mixingOwner_);
  } catch (...) {
    TearDown();  // the threads already running must not outlive the context
    throw;
  }
}

void MusicPipeline::TearDown() {
  if (tornDown_) return;
  tornDown_ = true;
  reader_->loopBreaker = true;
  reader_->playbackQueue.WakeAll();
  reader_->mixingQueue.WakeAll();
  if (MixingContext* published = mic_.mixingContext.load()) {
    published->stop = true;
    published->readyList.WakeAll();
  }
  log::Debug("Waiting for music threads to finish...\n");
  for (std::thread* thread : {&readerThread_, &playbackThread_, &mixingThread_})
    if (thread->joinable()) thread->join();
  log::Debug("Music threads finished\n");
  mic_.mixingContext = nullptr;
  mixingOwner_.reset();
  mic_.readerContext = nullptr;
  reader_.reset();
}

}  // namespace capmill
