// The threaded music pipeline of recordings whose music is also heard on the
// default output: a reader decodes and loops the music file and stamps each
// frame with music time; a playback thread writes the frames to the playback
// device; a mixing thread converts them to the recording's audio format into
// a ready list, from which the microphone thread mixes the frames whose time
// has come.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
}

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "src/MediaInput.h"
#include "src/MusicFrameQueue.h"

namespace capmill {

constexpr size_t kMusicQueueCapacity = 100;

// Shared by the three music threads and the microphone thread.
struct ReaderContext {
  explicit ReaderContext(std::string path) : musicPath(std::move(path)) {}
  ~ReaderContext();
  ReaderContext(const ReaderContext&) = delete;
  ReaderContext& operator=(const ReaderContext&) = delete;

  std::string musicPath;
  // The reader's own opening of the file. Both stay until the context goes:
  // the playback thread converts with the decoder even after the reader ended.
  AVFormatContext* demuxer = nullptr;
  std::atomic<AVCodecContext*> decoder{nullptr};  // published once opened
  int streamIndex = -1;
  MusicFrameQueue playbackQueue{kMusicQueueCapacity};
  MusicFrameQueue mixingQueue{kMusicQueueCapacity};
  std::atomic<bool> loopBreaker{false};
};

// Created by the mixing thread, published through the microphone input;
// destroyed only by the pipeline's teardown, after the threads are joined, so
// the microphone thread can never reach a freed one.
struct MixingContext {
  MixingContext(MediaInput& mic, ReaderContext& reader, int64_t playbackDelay)
      : audioMic(mic), readerContext(reader), playbackDelayMs(playbackDelay),
        totalDelayMs(playbackDelay + kResponseDelayMs) {}
  ~MixingContext() { swr_free(&resampler); }

  static constexpr int64_t kResponseDelayMs = 200;
  static constexpr int64_t kDefaultPlaybackDelayMs = 500;

  MediaInput& audioMic;
  SwrContext* resampler = nullptr;  // the mixing thread's alone
  ReaderContext& readerContext;
  // Frames already in the encoder's format. Bounded: a microphone thread
  // that takes nothing for a while must not make it grow without end.
  MusicFrameQueue readyList{kMusicQueueCapacity};
  std::atomic<bool> stop{false};
  // Set while the mixing thread converts into the ready list.
  std::atomic<bool> converting{false};
  const int64_t playbackDelayMs;
  const int64_t responseDelayMs = kResponseDelayMs;
  const int64_t totalDelayMs;
};

void MusicFileReaderThread(const std::string& path, ReaderContext* context);
void MusicPlaybackThread(ReaderContext* context);
// owner receives the mixing context, which outlives the thread.
void MusicMixingThread(ReaderContext* context, MediaInput* audioMic, double volume,
                       std::unique_ptr<MixingContext>* owner);

// One running pipeline. Construction creates the reader context on the
// microphone input and starts the reader, playback and mixing threads in that
// order; TearDown (also run by the destructor) stops them, joins them in the
// same order and frees everything they left.
class MusicPipeline {
 public:
  MusicPipeline(const std::string& musicPath, MediaInput& mic, double volume);
  ~MusicPipeline() { TearDown(); }
  MusicPipeline(const MusicPipeline&) = delete;
  MusicPipeline& operator=(const MusicPipeline&) = delete;

  void TearDown();
  ReaderContext& reader() { return *reader_; }
  // The published mixing context, or null.
  MixingContext* mixing() const { return mic_.mixingContext.load(); }

 private:
  MediaInput& mic_;
  std::unique_ptr<ReaderContext> reader_;
  std::unique_ptr<MixingContext> mixingOwner_;  // written by the mixing thread, read after its join
  std::thread readerThread_, playbackThread_, mixingThread_;
  bool tornDown_ = false;
};

}  // namespace capmill
