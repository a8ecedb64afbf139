// How each stream target of the last recording fared: how much it carried,
// and whether it ended failed, why and when. Kept apart from the targets,
// which are gone when the recording returns.
#pragma once

#include <cstdint>
#include <string>

namespace capmill {

struct StreamResult {
  std::string url;
  bool failed = false;
  std::string reason;       // the failure that ended it, when failed
  double failedAtSeconds = 0;  // on the recording's timeline
  int64_t firstMs = -1, lastMs = -1;  // media time of the first and last packet it took
  double SentSeconds() const { return firstMs < 0 ? 0 : (lastMs - firstMs) / 1000.0; }
};

// A new list, one per URL of the recording, all not yet failed.
void ResetStreamResults(const char* const* urls, int count);
// The target at index could not be set up: it carries nothing.
void StreamSetUpFailed(int index, const std::string& reason);
// The target at index took a packet of this media time.
void StreamSent(int index, int64_t mediaMs);
// Its connection failed (a write error, a flush that ran out of time).
void StreamFailed(int index, const std::string& reason, int64_t mediaMs);
// It is connected again: a failure before this did not end it.
void StreamReconnected(int index);
// A copy of one result; false past the end of the list.
bool GetStreamResult(int index, StreamResult& result);

}  // namespace capmill
