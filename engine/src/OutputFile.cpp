#include "src/OutputFile.h"

namespace capmill {

std::shared_ptr<OutputFile> OutputFile::Create(const AVOutputFormat* format, const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, format, nullptr, path.c_str()) < 0 || !context) return nullptr;
  return std::shared_ptr<OutputFile>(new OutputFile(context, path));
}

OutputFile::~OutputFile() {
  if (context_->pb && !(context_->oformat->flags & AVFMT_NOFILE)) avio_closep(&context_->pb);
  avformat_free_context(context_);
}

bool OutputFile::Open() {
  std::lock_guard<std::mutex> hold(lock_);
  if (context_->pb) return true;
  return avio_open(&context_->pb, path_.c_str(), AVIO_FLAG_READ_WRITE) >= 0;
}

int OutputFile::WriteHeader(AVDictionary** options) {
  std::lock_guard<std::mutex> hold(lock_);
  const int code = avformat_write_header(context_, options);
  headerWritten_ = code >= 0;
  return code;
}

int OutputFile::WritePacket(AVPacket* packet) {
  std::lock_guard<std::mutex> hold(lock_);
  if (finished_ || !headerWritten_ || packet->stream_index >= static_cast<int>(context_->nb_streams)) {
    av_packet_unref(packet);
    return AVERROR(EINVAL);
  }
  return av_interleaved_write_frame(context_, packet);
}

void OutputFile::SetStartTimeOnce(int trackIndex, int64_t startTime) {
  std::lock_guard<std::mutex> hold(lock_);
  if (trackIndex < 0 || trackIndex >= static_cast<int>(context_->nb_streams)) return;
  AVStream* track = context_->streams[trackIndex];
  if (track->start_time <= 0) track->start_time = startTime;
}

int OutputFile::Finish() {
  std::lock_guard<std::mutex> hold(lock_);
  if (finished_) return finishResult_;
  finished_ = true;
  finishResult_ = headerWritten_ ? av_write_trailer(context_) : AVERROR(EINVAL);
  // The file is complete: close it now rather than when the last input lets go.
  if (context_->pb && !(context_->oformat->flags & AVFMT_NOFILE)) avio_closep(&context_->pb);
  return finishResult_;
}

bool OutputFile::finished() const {
  std::lock_guard<std::mutex> hold(lock_);
  return finished_;
}

}  // namespace capmill
