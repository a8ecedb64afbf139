#include "src/StreamResults.h"

#include <mutex>
#include <vector>

namespace capmill {

namespace {

std::mutex resultsLock;
std::vector<StreamResult> results;

// Under resultsLock: the result of a valid index, or nothing.
StreamResult* At(int index) {
  return index >= 0 && static_cast<size_t>(index) < results.size() ? &results[index] : nullptr;
}

}  // namespace

void ResetStreamResults(const char* const* urls, int count) {
  std::lock_guard<std::mutex> hold(resultsLock);
  results.assign(count > 0 ? count : 0, StreamResult{});
  for (int i = 0; i < count; ++i) results[i].url = urls && urls[i] ? urls[i] : "";
}

void StreamSetUpFailed(int index, const std::string& reason) {
  std::lock_guard<std::mutex> hold(resultsLock);
  if (StreamResult* result = At(index)) {
    result->failed = true;
    result->reason = reason;
    result->failedAtSeconds = 0;
  }
}

void StreamSent(int index, int64_t mediaMs) {
  std::lock_guard<std::mutex> hold(resultsLock);
  if (StreamResult* result = At(index)) {
    if (result->firstMs < 0) result->firstMs = mediaMs;
    if (mediaMs > result->lastMs) result->lastMs = mediaMs;
  }
}

void StreamFailed(int index, const std::string& reason, int64_t mediaMs) {
  std::lock_guard<std::mutex> hold(resultsLock);
  StreamResult* result = At(index);
  if (!result || result->failed) return;  // the first failure of an episode says why
  result->failed = true;
  result->reason = reason;
  result->failedAtSeconds = mediaMs / 1000.0;
}

void StreamReconnected(int index) {
  std::lock_guard<std::mutex> hold(resultsLock);
  if (StreamResult* result = At(index)) {
    result->failed = false;
    result->reason.clear();
  }
}

bool GetStreamResult(int index, StreamResult& result) {
  std::lock_guard<std::mutex> hold(resultsLock);
  const StreamResult* found = At(index);
  if (!found) return false;
  result = *found;
  return true;
}

}  // namespace capmill
