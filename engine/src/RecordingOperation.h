// A recording operation as data: which inputs it opens, where it streams and
// how it reports a failure. One routine runs every operation, so a new
// entry point is a row, not a copy of the set-up and teardown.
#pragma once

#include <string>

namespace capmill {

class PellamCapmill;
struct SeparatePaths;

// What one family of music operations says while it opens the music.
struct MusicTexts {
  const char* open;          // "%s": the path
  const char* opened;        // "%d": the stream index
  const char* codecOpened;   // "%d, %d": rate and channels
  const char* codecMissing;
  const char* driverCall;    // "%.2f": the volume
  const char* completed;     // once the driver returned
};

// What a separate-file operation says.
struct SeparateTexts {
  const char* start;    // "%s" video, audio, requested path[, stream URL]
  bool combineReports;  // "Recording stopped, combining files..." and the final output's line
};

// What the file operations with music say.
extern const MusicTexts kFileMusicTexts;

struct RecordingOperation {
  enum class Streams { None, One, List };
  // Named in "Error in NAME: ..." reports (standard error and the debug
  // channel); null: "Error :" on standard output.
  const char* name = nullptr;
  bool withAudio = false;
  Streams streams = Streams::None;
  // Background music mixed into the microphone track; null: none.
  const MusicTexts* music = nullptr;
  // The report goes to standard output and the debug channel instead.
  bool reportOnStandardOutput = false;
  // Set: the music is also heard on the default output; the warning (debug
  // channel) when the playback device cannot be opened.
  const char* playbackWarning = nullptr;
  // Set: the video and the audio go to two files of their own beside the
  // requested path, combined into it at the end.
  const SeparateTexts* separate = nullptr;
};

// Where the operation's sources and streams come from.
struct RecordingRequest {
  const std::string* audioInput = nullptr;  // "audio=NAME"; needed withAudio
  const std::string* streamUrl = nullptr;   // Streams::One
  const char* const* streamUrls = nullptr;  // Streams::List
  int urlCount = 0;
  const std::string* musicPath = nullptr;   // with music
  int musicVolumePercent = 0;
  const SeparatePaths* separatePaths = nullptr;  // separate operations
};

// How an operation ended.
struct OperationResult {
  bool setupFailed = false;    // reported; the capture threads never ran
  bool stopRequested = false;  // a stop was asked for before the inputs were released
  bool musicMissing = false;   // separate operations: no music decoder; nothing was recorded
};

// Reports a failure of the operation as it says.
void ReportOperationError(const RecordingOperation& operation, const std::string& message);

// Opens the inputs and the file, sets up the streams, runs the capture
// threads until the stop and tears everything down on one path. Reports
// failures as the operation says; never throws.
OperationResult RunRecordingOperation(const RecordingOperation& operation, const PellamCapmill& session,
                                      const RecordingRequest& request);

}  // namespace capmill
