#include "src/OutputFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/FileSystem.h"
#include "src/EngineState.h"
#include "src/FragmentSync.h"
#include "src/HiddenFile.h"
#include "src/MediaInput.h"
#include "src/RecordingJournal.h"

namespace capmill {
namespace {

// Fragments of at most this long, besides the one begun at each key frame
// (one a second): a crash costs at most this much plus what was in flight.
constexpr const char kFragmentUs[] = "500000";
// How often the free space is looked at.
constexpr std::chrono::seconds kSpaceCheckInterval{2};

}  // namespace

bool OutputFile::Fragmented(const AVOutputFormat* format) {
  if (!format || !format->name) return false;
  for (const char* name : {"mp4", "mov", "ipod"})
    if (std::strcmp(format->name, name) == 0) return true;
  return false;
}

std::shared_ptr<OutputFile> OutputFile::Create(const AVOutputFormat* format, const std::string& path) {
  AVFormatContext* context = nullptr;
  if (avformat_alloc_output_context2(&context, format, nullptr, path.c_str()) < 0 || !context) return nullptr;
  return std::shared_ptr<OutputFile>(new OutputFile(context, path));
}

OutputFile::OutputFile(AVFormatContext* context, std::string path) : context_(context), path_(std::move(path)) {
  const size_t slash = path_.rfind('/');
  folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
}

OutputFile::~OutputFile() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    CloseLocked();
  }
  avformat_free_context(context_);
}

void OutputFile::CloseLocked() {
  if (context_->pb && !(context_->oformat->flags & AVFMT_NOFILE)) {
    if (failure_ == 0) keptBytes_ = std::max<int64_t>(keptBytes_, avio_tell(context_->pb));
    avio_closep(&context_->pb);
  }
  sync_.reset();  // the last bytes, trailer included, reach the disk
  // Finished, or never worth keeping: nothing to recover.
  journal_.reset();
  if (hasPackets_ && keptBytes_ > 0) {
    TakePathLocked();
  } else if (!writingPath_.empty()) {
    // Nothing was written: the hidden file goes, and whatever had the path stays.
    std::remove(writingPath_.c_str());
    writingPath_.clear();
  }
}

void OutputFile::TakePathLocked() {
  // The open file goes with its name.
  if (writingPath_.empty() || std::rename(writingPath_.c_str(), path_.c_str()) != 0) return;
  writingPath_.clear();
  if (journal_) journal_->TookPath();
}

bool OutputFile::Open() {
  std::lock_guard<std::mutex> hold(lock_);
  if (context_->pb) return true;
  if (context_->oformat->flags & AVFMT_NOFILE) return true;
  writingPath_ = CreateHiddenFileBeside(path_, "recording");
  if (writingPath_.empty()) return false;
  journal_ = std::make_unique<JournalEntry>(path_, writingPath_);
  if (avio_open(&context_->pb, writingPath_.c_str(), AVIO_FLAG_READ_WRITE) < 0) {
    journal_.reset();
    std::remove(writingPath_.c_str());
    writingPath_.clear();
    return false;
  }
  sync_ = std::make_unique<FragmentSync>(writingPath_);
  return true;
}

int OutputFile::WriteHeader(AVDictionary** options) {
  std::lock_guard<std::mutex> hold(lock_);
  AVDictionary* settings = nullptr;
  if (options && *options) av_dict_copy(&settings, *options, 0);
  if (Fragmented(context_->oformat)) {
    // The header waits for the first packets: the encoders keep their
    // configuration in-band.
    av_dict_set(&settings, "movflags", "+frag_keyframe+empty_moov+delay_moov+default_base_moof", 0);
    av_dict_set(&settings, "frag_duration", kFragmentUs, 0);
  }
  // Every fragment leaves the process as soon as it is complete.
  av_dict_set(&settings, "flush_packets", "1", 0);
  const int code = avformat_write_header(context_, &settings);
  av_dict_free(&settings);
  headerWritten_ = code >= 0;
  return code;
}

int OutputFile::WritePacket(AVPacket* packet) {
  int code;
  std::string stopCause;
  bool lookAtSpace = false;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (failure_ < 0) {
      av_packet_unref(packet);
      return failure_;
    }
    if (finished_ || !headerWritten_ || packet->stream_index >= static_cast<int>(context_->nb_streams)) {
      av_packet_unref(packet);
      return AVERROR(EINVAL);
    }
    code = av_interleaved_write_frame(context_, packet);
    stopCause = CheckAfterWriteLocked(code);
    if (code >= 0 && stopCause.empty()) {
      const auto now = std::chrono::steady_clock::now();
      lookAtSpace = now >= nextSpaceCheck_;
      if (lookAtSpace) nextSpaceCheck_ = now + kSpaceCheckInterval;
    }
  }
  // The file system is asked, and the stop reported, outside the file's
  // lock: the other writers of the file do not wait for either.
  if (lookAtSpace) {
    const std::optional<uint64_t> free = platform::FreeBytesAt(folder_);
    if (free && *free < kLowDiskSpaceBytes) stopCause = "Low disk space";
  }
  if (!stopCause.empty()) StopRecordingFor(stopCause, path_);
  return code;
}

std::string OutputFile::CheckAfterWriteLocked(int code) {
  if (code < 0) {
    if (!platform::PersistentWriteFailure(code)) return "";
    failure_ = code;
    return code == AVERROR(ENOSPC) || code == AVERROR(EDQUOT) ? "Disk full" : AvErrorText(code);
  }
  hasPackets_ = true;
  // Every write is flushed: what the muxer has handed over is in the file.
  if (context_->pb) {
    const int64_t written = avio_tell(context_->pb);
    if (written > keptBytes_ && sync_) sync_->Written();
    keptBytes_ = written;
    if (keptBytes_ > 0) TakePathLocked();  // with its first fragment
  }
  return "";
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
  // The file system refused a write: a trailer would only leave a torn piece
  // after the last complete fragment.
  finishResult_ = failure_ < 0 ? failure_ : headerWritten_ ? av_write_trailer(context_) : AVERROR(EINVAL);
  if (headerWritten_ && finishResult_ < 0) {
    // A trailer cut short (the disk filled at the very end) is cut off too:
    // the fragments before it stay readable.
    failure_ = finishResult_;
    CloseLocked();
    if (hasPackets_ && keptBytes_ > 0) platform::TruncateFile(writingPath_.empty() ? path_ : writingPath_, keptBytes_);
    return finishResult_;
  }
  // The file is complete: close it now rather than when the last input lets go.
  CloseLocked();
  return finishResult_;
}

bool OutputFile::failed() const {
  std::lock_guard<std::mutex> hold(lock_);
  return failure_ < 0;
}

bool OutputFile::finished() const {
  std::lock_guard<std::mutex> hold(lock_);
  return finished_;
}

}  // namespace capmill
