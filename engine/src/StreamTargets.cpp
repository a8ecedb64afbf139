#include "src/StreamTargets.h"

#include "src/StreamResults.h"

#include "platform/Log.h"
#include "src/Output.h"
#include "src/ParameterSets.h"
#include "src/PellamCapmill.h"

namespace capmill {
namespace {

// A server that stops reading must not block the file forever.
constexpr const char kWriteTimeoutUs[] = "5000000";

int InterruptWhenAbandoned(void* opaque) { return static_cast<StreamTarget*>(opaque)->abandoned ? 1 : 0; }

AVStream* FirstTrackOfType(AVFormatContext* container, AVMediaType type) {
  for (unsigned i = 0; i < container->nb_streams; ++i)
    if (container->streams[i]->codecpar->codec_type == type) return container->streams[i];
  return nullptr;
}

// Gives a waiting target its video configuration from a key frame and writes
// its header. False while the target cannot take packets yet.
bool ReadyForPacket(StreamTarget& target, const AVPacket& packet, AVMediaType type) {
  if (target.headerWritten) return true;
  if (!target.headerPending) return false;
  if (type != AVMEDIA_TYPE_VIDEO || !(packet.flags & AV_PKT_FLAG_KEY)) return false;
  AVStream* video = FirstTrackOfType(target.container, AVMEDIA_TYPE_VIDEO);
  const std::string parameterSets = ExtractParameterSets(packet.data, packet.size);
  if (!video || parameterSets.empty()) return false;
  if (SetExtradata(video->codecpar, parameterSets) < 0) return false;
  target.headerPending = false;
  if (int code = avformat_write_header(target.container, nullptr); code < 0) {
    log::ErrLine("Unable to write stream format header: " + AvErrorText(code));
    return false;
  }
  target.headerWritten = true;
  return true;
}

// Writes the file's copy of a packet.
void WriteToFile(AVPacket* packet, AVStream* source, MediaInput& input) {
  if (!input.output || source->index >= static_cast<int>(input.output->context()->nb_streams)) {
    av_packet_unref(packet);
    return;
  }
  packet->stream_index = source->index;
  if (int code = input.output->WritePacket(packet); code < 0 && !input.output->failed())
    log::ErrLine("Error writing to file: " + AvErrorText(code));
}

void AddTrack(AVFormatContext* target, MediaInput& input, StreamSetupError::Step createStep,
              StreamSetupError::Step copyStep, const char* createText, const char* copyText) {
  AVStream* track = avformat_new_stream(target, input.encoder);
  if (!track) throw StreamSetupError(createStep, createText);
  if (avcodec_parameters_copy(track->codecpar, input.outputStream->codecpar) < 0)
    throw StreamSetupError(copyStep, copyText);
  track->time_base = input.outputStream->time_base;
  track->codecpar->codec_tag = 0;
}

}  // namespace

StreamTarget::StreamTarget(AVFormatContext* targetContainer)
    : container(targetContainer), url_(targetContainer->url ? targetContainer->url : "") {
  container->interrupt_callback = AVIOInterruptCB{&InterruptWhenAbandoned, this};
}

StreamTarget::~StreamTarget() {
  if (sender_.joinable()) {
    BeginFinish();
    EndFinish(std::chrono::steady_clock::now() + std::chrono::milliseconds(kStreamFlushMs));
  }
  for (Queued& item : queue_) av_packet_free(&item.packet);
  ReleaseOutputContext(container);
}

void StreamTarget::StartSender(int index) {
  index_ = index;
  hasVideo_ = FirstTrackOfType(container, AVMEDIA_TYPE_VIDEO) != nullptr;
  hasAudio_ = FirstTrackOfType(container, AVMEDIA_TYPE_AUDIO) != nullptr;
  sender_ = std::thread([this] { SenderLoop(); });
}

int64_t StreamTarget::QueuedSpanMsLocked() const {
  return queue_.empty() ? 0 : queue_.back().mediaMs - queue_.front().mediaMs;
}

void StreamTarget::Enqueue(AVPacket* copy, const AVStream* source) {
  const AVMediaType type = source->codecpar->codec_type;
  const bool key = copy->flags & AV_PKT_FLAG_KEY;
  const int64_t mediaMs = av_rescale_q(copy->pts == AV_NOPTS_VALUE ? copy->dts : copy->pts, source->time_base, {1, 1000});
  std::lock_guard<std::mutex> hold(queueLock_);
  if (finishing_ || abandoned) {
    av_packet_free(&copy);
    return;
  }
  const bool behind = QueuedSpanMsLocked() > kMaxQueuedMediaMs;
  if (behind && !dropping_) {
    dropping_ = true;
    log::Debug("Stream " + Url() + " is more than 2 s behind; dropping video until the next key frame\n");
  } else if (!behind && dropping_ && key) {
    dropping_ = false;
    log::Debug("Stream " + Url() + " caught up\n");
  }
  // Sound keeps flowing; pictures resume at a key frame so viewers decode cleanly.
  if (dropping_ && type == AVMEDIA_TYPE_VIDEO && !key) {
    av_packet_free(&copy);
    return;
  }
  if (queue_.size() >= kMaxQueuedPackets) {
    av_packet_free(&queue_.front().packet);
    queue_.pop_front();
  }
  queue_.push_back({copy, source->time_base, type, mediaMs});
  queueChanged_.notify_one();
}

void StreamTarget::SenderLoop() {
  for (;;) {
    Queued item{};
    {
      std::unique_lock<std::mutex> hold(queueLock_);
      queueChanged_.wait(hold, [this] { return !queue_.empty() || finishing_; });
      if (queue_.empty()) break;  // finishing and nothing left
      item = queue_.front();
      queue_.pop_front();
    }
    Send(item);
  }
  if (headerWritten && connected_ && !abandoned) WriteStreamTrailer(container);
  std::lock_guard<std::mutex> hold(queueLock_);
  senderDone_ = true;
  queueChanged_.notify_all();
}

void StreamTarget::Send(Queued& item) {
  if (!connected_ && !Reconnect()) {
    av_packet_free(&item.packet);  // the file has it; viewers resume at a key frame
    return;
  }
  if (waitForKeyFrame_ && item.type == AVMEDIA_TYPE_VIDEO) {
    if (!(item.packet->flags & AV_PKT_FLAG_KEY)) {
      av_packet_free(&item.packet);
      return;
    }
    waitForKeyFrame_ = false;
  }
  AVStream* track = FirstTrackOfType(container, item.type);
  if (abandoned || !track || !ReadyForPacket(*this, *item.packet, item.type)) {
    av_packet_free(&item.packet);
    return;
  }
  item.packet->stream_index = track->index;
  av_packet_rescale_ts(item.packet, item.timeBase, track->time_base);
  const int code = av_interleaved_write_frame(container, item.packet);
  av_packet_free(&item.packet);
  if (code >= 0) {
    lastSentMs_ = item.mediaMs;
    StreamSent(index_, item.mediaMs);
    return;
  }
  StreamFailed(index_, AvErrorText(code), item.mediaMs);
  if (index_ < 0) {
    log::ErrLine("Error writing to stream: " + AvErrorText(code));
  } else {
    const std::string url = Url();
    log::ErrLine("Error writing to stream " + std::to_string(index_) + " (" + (url.empty() ? "unknown" : url) +
                 "): " + AvErrorText(code));
  }
  if (!abandoned) ConnectionLost();
}

void StreamTarget::ConnectionLost() {
  connected_ = false;
  retryDelay_ = kFirstRetryDelay;
  nextAttempt_ = std::chrono::steady_clock::now() + retryDelay_;
  log::Debug("Stream " + url_ + ": connection lost, reconnecting in 2.0 s\n");
}

bool StreamTarget::Reconnect() {
  if (abandoned || std::chrono::steady_clock::now() < nextAttempt_) return false;
  ++reconnectAttempt_;
  log::Debug("Stream " + url_ + ": reconnect attempt " + std::to_string(reconnectAttempt_) + "\n");
  // A fresh container with the same tracks: the muxer has written its
  // header to the old connection already.
  AVFormatContext* fresh = nullptr;
  bool ok = avformat_alloc_output_context2(&fresh, container->oformat, nullptr, url_.c_str()) >= 0 && fresh;
  for (unsigned i = 0; ok && i < container->nb_streams; ++i) {
    AVStream* track = avformat_new_stream(fresh, nullptr);
    ok = track && avcodec_parameters_copy(track->codecpar, container->streams[i]->codecpar) >= 0;
    if (ok) track->time_base = container->streams[i]->time_base;
  }
  if (ok) {
    fresh->interrupt_callback = AVIOInterruptCB{&InterruptWhenAbandoned, this};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rw_timeout", kWriteTimeoutUs, 0);
    ok = avio_open2(&fresh->pb, url_.c_str(), AVIO_FLAG_WRITE, &fresh->interrupt_callback, &options) >= 0;
    av_dict_free(&options);
  }
  // The video track has its configuration since the first key frame.
  if (ok) ok = avformat_write_header(fresh, nullptr) >= 0;
  if (!ok) {
    ReleaseOutputContext(fresh);
    retryDelay_ = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(retryDelay_ * 1.5), kMaxRetryDelay);
    nextAttempt_ = std::chrono::steady_clock::now() + retryDelay_;
    log::Debug(log::Format(256, "Stream %s: reconnect attempt %d failed, next in %.1f s\n", url_.c_str(), reconnectAttempt_,
                      retryDelay_.count() / 1000.0));
    return false;
  }
  ReleaseOutputContext(container);
  container = fresh;
  headerWritten = true;
  headerPending = false;
  connected_ = true;
  waitForKeyFrame_ = true;
  reconnectAttempt_ = 0;
  StreamReconnected(index_);
  log::Debug("Stream " + url_ + ": reconnected\n");
  return true;
}

void StreamTarget::BeginFinish() {
  std::lock_guard<std::mutex> hold(queueLock_);
  finishing_ = true;
  queueChanged_.notify_all();
}

void StreamTarget::EndFinish(std::chrono::steady_clock::time_point deadline) {
  {
    std::unique_lock<std::mutex> hold(queueLock_);
    if (finished_ || !sender_.joinable()) return;
    finished_ = true;
    if (!queueChanged_.wait_until(hold, deadline, [this] { return senderDone_; })) {
      // Out of time: the connection's blocking calls give up, what is left is dropped.
      abandoned = true;
      for (Queued& item : queue_) av_packet_free(&item.packet);
      queue_.clear();
      log::Debug("Stream " + Url() + " did not finish in time; connection interrupted\n");
      StreamFailed(index_, "did not take the end of the recording in time", lastSentMs_);
    }
  }
  sender_.join();
}

// Kept apart from the container, which the sender replaces on a reconnect.
std::string StreamTarget::Url() const { return url_; }

void SetPrimaryStreamTarget(StreamTarget* target) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().primaryStreamTarget = target;
}

void AddStreamTarget(StreamTarget* target) {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().streamTargets.push_back(target);
  if (Engine().streamTargets.size() == 1) Engine().primaryStreamTarget = target;
}

void ClearStreamTargets() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  Engine().streamTargets.clear();
  Engine().primaryStreamTarget = nullptr;
}

std::unique_ptr<StreamTarget> CreateStreamTarget(const std::string& url, MediaInput* screen, MediaInput* audio,
                                                 const PellamCapmill& session) {
  using Step = StreamSetupError::Step;
  const AVOutputFormat* format = av_guess_format(nullptr, url.c_str(), nullptr);
  if (!format) format = av_guess_format("flv", nullptr, nullptr);
  AVFormatContext* container = nullptr;
  if (avformat_alloc_output_context2(&container, format, nullptr, url.c_str()) < 0 || !container)
    throw StreamSetupError(Step::Container, "Error in allocating stream format output context");
  auto target = std::make_unique<StreamTarget>(container);

  const bool haveFile = Engine().sharedOutput != nullptr;
  if (screen && screen->outputStream && haveFile) {
    AddTrack(container, *screen, Step::VideoStream, Step::VideoParams, "Unable to create video stream for streaming",
             "Unable to copy video codec parameters for streaming");
    AVStream* track = container->streams[container->nb_streams - 1];
    // A session without a size records the captured size: keep the file's.
    if (session.width > 0 && session.height > 0) {
      track->codecpar->width = session.width;
      track->codecpar->height = session.height;
      if (screen->encoderContext) {
        screen->encoderContext->width = session.width;
        screen->encoderContext->height = session.height;
        avcodec_parameters_from_context(track->codecpar, screen->encoderContext);
        track->codecpar->codec_tag = 0;
      }
    }
  }
  if (audio && audio->outputStream && haveFile)
    AddTrack(container, *audio, Step::AudioStream, Step::AudioParams, "Unable to create audio stream for streaming",
             "Unable to copy audio codec parameters for streaming");
  if (format->flags & AVFMT_GLOBALHEADER) {
    if (screen && screen->encoderContext) screen->encoderContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (audio && audio->encoderContext) audio->encoderContext->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  return target;
}

void OpenStreamTarget(StreamTarget* target) {
  if (!target) return;
  AVFormatContext* container = target->container;
  const std::string url = target->Url();
  if (url.empty()) throw StreamSetupError(StreamSetupError::Step::Open, "Stream context URL is not set");
  if (!(container->oformat->flags & AVFMT_NOFILE)) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rw_timeout", kWriteTimeoutUs, 0);
    const int code = avio_open2(&container->pb, url.c_str(), AVIO_FLAG_WRITE, &container->interrupt_callback, &options);
    av_dict_free(&options);
    if (code < 0)
      throw StreamSetupError(StreamSetupError::Step::Open,
                             "Unable to open stream output (" + url + "): " + AvErrorText(code));
  }
  // The encoder keeps its parameter sets in-band; a viewer needs them in the
  // header, so a video track without them waits for the first key frame.
  AVStream* video = FirstTrackOfType(container, AVMEDIA_TYPE_VIDEO);
  if (video && video->codecpar->codec_id == AV_CODEC_ID_H264 && video->codecpar->extradata_size == 0) {
    target->headerPending = true;
    return;
  }
  if (int code = avformat_write_header(container, nullptr); code < 0)
    throw StreamSetupError(StreamSetupError::Step::Open, "Unable to write stream format header: " + AvErrorText(code));
  target->headerWritten = true;
}

std::vector<std::unique_ptr<StreamTarget>> SetUpStreamTargets(const char* const* urls, int urlCount,
                                                              MediaInput* screen, MediaInput* audio,
                                                              const PellamCapmill& session) {
  using Step = StreamSetupError::Step;
  std::vector<std::unique_ptr<StreamTarget>> slots(urlCount);
  ClearStreamTargets();
  ResetStreamResults(urls, urlCount);
  for (int i = 0; i < urlCount; ++i) {
    const std::string index = std::to_string(i);
    if (!urls[i] || !*urls[i]) {
      log::ErrLine("Warning: Skipping empty stream URL at index " + index);
      StreamSetUpFailed(i, "empty URL");
      continue;
    }
    const std::string url = urls[i];
    std::unique_ptr<StreamTarget> target;
    try {
      target = CreateStreamTarget(url, screen, audio, session);
    } catch (const StreamSetupError& error) {
      switch (error.step) {
        case Step::Container:
          log::ErrLine("Error: Failed to allocate stream format output context for URL " + index + ": " + url + " (" +
                       AvErrorText(AVERROR(ENOMEM)) + ")");
          break;
        case Step::VideoStream: log::ErrLine("Error: Unable to create video stream for streaming URL " + index); break;
        case Step::VideoParams:
          log::ErrLine("Error: Unable to copy video codec parameters for streaming URL " + index);
          break;
        case Step::AudioStream: log::ErrLine("Error: Unable to create audio stream for streaming URL " + index); break;
        default: log::ErrLine("Error: Unable to copy audio codec parameters for streaming URL " + index); break;
      }
      StreamSetUpFailed(i, error.what());
      continue;
    }
    try {
      OpenStreamTarget(target.get());
    } catch (const std::exception& error) {
      log::ErrLine("Error setting up stream " + index + " (" + url + "): " + error.what());
      StreamSetUpFailed(i, error.what());
      continue;  // the target's destructor closes the connection and frees it
    }
    target->StartSender(i);
    AddStreamTarget(target.get());
    log::ErrLine("Successfully set up streaming to URL " + index + ": " + url);
    slots[i] = std::move(target);
  }
  std::vector<std::unique_ptr<StreamTarget>> targets;
  for (auto& slot : slots)
    if (slot) targets.push_back(std::move(slot));
  if (targets.empty())
    log::ErrLine("Warning: No valid streaming URLs were set up. Recording will continue to file only.");
  else
    log::ErrLine("Successfully set up " + std::to_string(targets.size()) + " streaming URL(s)");
  return targets;
}

namespace {

// The registered targets, taken under EngineLock; they outlive the capture
// threads, so using them after the lock is released is safe.
std::vector<StreamTarget*> RegisteredTargets() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  std::vector<StreamTarget*> targets = Engine().streamTargets;
  if (targets.empty() && Engine().primaryStreamTarget) targets.push_back(Engine().primaryStreamTarget);
  return targets;
}

void RouteTo(const std::vector<StreamTarget*>& targets, AVPacket* packet, AVStream* source, MediaInput& input) {
  std::vector<AVPacket*> copies(targets.size(), nullptr);
  for (size_t i = 0; i < targets.size(); ++i) {
    StreamTarget* target = targets[i];
    if (!target || !target->Carries(source->codecpar->codec_type)) continue;
    if (!(copies[i] = av_packet_clone(packet)))
      log::ErrLine("Error: Failed to clone packet for stream " + std::to_string(i));
  }
  WriteToFile(packet, source, input);
  for (size_t i = 0; i < targets.size(); ++i)
    if (copies[i]) targets[i]->Enqueue(copies[i], source);
}

}  // namespace

void RoutePacket(AVPacket* packet, AVStream* source, MediaInput& input) {
  RouteTo(RegisteredTargets(), packet, source, input);
}

void RoutePacketToAll(AVPacket* packet, AVStream* source, MediaInput& input) {
  std::vector<StreamTarget*> targets;
  {
    std::lock_guard<std::mutex> hold(Engine().lock);
    targets = Engine().streamTargets;
  }
  RouteTo(targets, packet, source, input);
}

bool HaveStreamTargets() {
  std::lock_guard<std::mutex> hold(Engine().lock);
  return !Engine().streamTargets.empty() || Engine().primaryStreamTarget;
}

void WriteStreamTargetTrailers() {
  const std::vector<StreamTarget*> targets = RegisteredTargets();
  // All targets flush at once, within one shared deadline.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStreamFlushMs);
  for (StreamTarget* target : targets)
    if (target) target->BeginFinish();
  for (StreamTarget* target : targets)
    if (target) target->EndFinish(deadline);
}

}  // namespace capmill
