// The owner of one output container: the muxer, its file and the lock that
// serialises every write into it. Inputs that write the same file share the
// owner; the last one to let go closes it.
//
// A recording must never lose what it already has:
// - MP4 and its relatives are written as fragments of at most a second,
//   each handed to the system as it completes, so a crash or a power loss
//   keeps every finished fragment;
// - the file is written under a hidden name beside its path and takes the
//   path with its first packet, so a recording that fails before it has
//   anything leaves no file behind and an earlier file at the path stays
//   until the new recording has something in its place;
// - the first write the file system refuses for good (full, read-only,
//   gone), or free space below kLowDiskSpaceBytes, ends the whole recording,
//   and the file is cut back to its last complete fragment.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

namespace capmill {

class FragmentSync;
class JournalEntry;

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
  // result. Packets after it are refused. A file that never received a
  // packet is removed instead.
  int Finish();
  bool finished() const;
  // A write was refused for good: later packets are dropped unreported.
  bool failed() const;

  // Whether the format is written in fragments.
  static bool Fragmented(const AVOutputFormat* format);

 private:
  OutputFile(AVFormatContext* context, std::string path);
  void CloseLocked();
  // After a written packet: what the file holds for sure. Returns the cause
  // of a stop (a write refused for good), or "".
  std::string CheckAfterWriteLocked(int code);
  // The recording has something: the file takes its path.
  void TakePathLocked();

  mutable std::mutex lock_;  // every muxer call after setup
  AVFormatContext* context_;
  std::string path_;
  std::string writingPath_;     // the hidden name until the first packet; guarded by lock_
  bool headerWritten_ = false;  // guarded by lock_
  bool hasPackets_ = false;     // guarded by lock_
  bool finished_ = false;       // guarded by lock_
  int finishResult_ = 0;        // guarded by lock_
  int failure_ = 0;             // the refused write's code; guarded by lock_
  int64_t keptBytes_ = 0;       // written and handed to the system; guarded by lock_
  std::string folder_;
  std::chrono::steady_clock::time_point nextSpaceCheck_;  // guarded by lock_
  // Names the file for recovery until it is finished; guarded by lock_.
  std::unique_ptr<JournalEntry> journal_;
  // Takes each complete fragment to the disk; guarded by lock_.
  std::unique_ptr<FragmentSync> sync_;
};

// Below this much free space a recording stops while its file can still be
// finished properly.
constexpr uint64_t kLowDiskSpaceBytes = 100ull * 1024 * 1024;

}  // namespace capmill
