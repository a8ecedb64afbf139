// The owner of one output container: the muxer, its file and the lock that
// serialises every write into it. Inputs that write the same file share the
// owner; the last one to let go closes it.
#pragma once

#include <memory>
#include <mutex>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace capmill {

class OutputFile {
 public:
  // Allocates the container for path in the format; nothing when that fails.
  static std::shared_ptr<OutputFile> Create(const AVOutputFormat* format, const std::string& path);
  ~OutputFile();  // closes the file if open and frees the container
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // The container, for setting it up before the first packet.
  AVFormatContext* context() const { return context_; }
  const std::string& path() const { return path_; }

  // Opens the file for writing; false when it cannot be created.
  bool Open();
  // Writes the container header; the library's result code.
  int WriteHeader(AVDictionary** options);
  // Writes one packet (its stream_index set, timestamps in the track's time
  // base); the packet is consumed. The library's result code.
  int WritePacket(AVPacket* packet);
  // Sets the track's start time unless it has one.
  void SetStartTimeOnce(int trackIndex, int64_t startTime);
  // Writes the trailer the first time only; later calls return the first
  // result. Packets after it are refused.
  int Finish();
  bool finished() const;

 private:
  OutputFile(AVFormatContext* context, std::string path) : context_(context), path_(std::move(path)) {}

  mutable std::mutex lock_;  // every muxer call after setup
  AVFormatContext* context_;
  std::string path_;
  bool headerWritten_ = false;  // guarded by lock_
  bool finished_ = false;       // guarded by lock_
  int finishResult_ = 0;        // guarded by lock_
};

}  // namespace capmill
