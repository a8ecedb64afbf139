// A recording operation as data: which inputs it opens, where it streams and
// how it reports a failure. One routine runs every operation, so a new
// entry point is a row, not a copy of the set-up and teardown.
#pragma once

#include <string>

namespace capmill {

class PellamCapmill;

struct RecordingOperation {
  enum class Streams { None, One, List };
  // Named in "Error in NAME: ..." reports (standard error and the debug
  // channel); null: "Error :" on standard output.
  const char* name = nullptr;
  bool withAudio = false;
  Streams streams = Streams::None;
};

// Where the operation's sources and streams come from.
struct RecordingRequest {
  const std::string* audioInput = nullptr;  // "audio=NAME"; needed withAudio
  const std::string* streamUrl = nullptr;   // Streams::One
  const char* const* streamUrls = nullptr;  // Streams::List
  int urlCount = 0;
};

// Reports a failure of the operation as it says.
void ReportOperationError(const RecordingOperation& operation, const std::string& message);

// Opens the inputs and the file, sets up the streams, runs the capture
// threads until the stop and tears everything down on one path. Reports
// failures as the operation says; never throws.
void RunRecordingOperation(const RecordingOperation& operation, const PellamCapmill& session,
                           const RecordingRequest& request);

}  // namespace capmill
