// A note on disk for every file a recording is writing, removed once the
// file is finished. What a crash or a power loss leaves behind names the
// files to recover at the next start.
#pragma once

#include <functional>
#include <string>

namespace capmill {

class JournalEntry {
 public:
  // Notes that this process writes finalPath, for now under writingPath.
  // Best effort: without a state folder nothing is noted.
  JournalEntry(const std::string& finalPath, const std::string& writingPath);
  ~JournalEntry();  // the file is finished (or was never worth keeping)
  JournalEntry(const JournalEntry&) = delete;
  JournalEntry& operator=(const JournalEntry&) = delete;

  // The file now has its final path.
  void TookPath();

 private:
  void Write(bool tookPath);
  std::string entryPath_;
  std::string finalPath_;
  std::string writingPath_;
};

// A recording that was cut off and has been rewritten into a finished file.
struct RecoveredRecording {
  std::string original;   // the cut-off file (removed once the new one was verified)
  std::string recovered;  // the finished file beside it
  long packets = 0;
};

// Recovers every recording whose process ended without finishing it:
// rewrites its fragments (no re-encoding) into "<name> (recovered).<ext>"
// beside it, checks that the new file holds every packet, then removes the
// original and the note. Reports each one; returns how many.
int RecoverUnfinishedRecordings(const std::function<void(const RecoveredRecording&)>& report);

}  // namespace capmill
