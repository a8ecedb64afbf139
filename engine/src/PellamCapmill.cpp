#include "src/PellamCapmill.h"

#include "src/EngineState.h"
#include "src/RecordingOperation.h"

namespace capmill {
namespace {

using Streams = RecordingOperation::Streams;

// The recording operations, one row each.
constexpr RecordingOperation kRecVideo{nullptr, false, Streams::None};
constexpr RecordingOperation kRecAudioVideo{nullptr, true, Streams::None};
constexpr RecordingOperation kRecAndStreamAudioVideo{"RecAndStreamAudioVideo", true, Streams::One};
constexpr RecordingOperation kRecAndStreamAudioVideoEx{"RecAndStreamAudioVideoEx", true, Streams::List};

}  // namespace

PellamCapmill PellamCapmill::FromEngine(const std::string& path) {
  PellamCapmill session(640, 480, "", "", path);
  EngineState& engine = Engine();
  std::lock_guard<std::mutex> hold(engine.lock);
  session.crfText = engine.crfText;
  session.frameRateText = engine.frameRateText;
  session.width = engine.outputWidth;
  session.height = engine.outputHeight;
  return session;
}

void PellamCapmill::RecVideo() { RunRecordingOperation(kRecVideo, *this, {}); }

void PellamCapmill::RecAudioVideo(const std::string& audioInput) {
  RunRecordingOperation(kRecAudioVideo, *this, {&audioInput});
}

void PellamCapmill::RecAndStreamAudioVideo(const std::string& audioInput, const std::string& streamUrl) {
  RunRecordingOperation(kRecAndStreamAudioVideo, *this, {&audioInput, &streamUrl});
}

void PellamCapmill::RecAndStreamAudioVideoEx(const std::string& audioInput, const char* const* streamUrls,
                                             int urlCount) {
  if (!streamUrls || urlCount < 1) {
    ReportOperationError(kRecAndStreamAudioVideoEx, "Invalid stream URL list or count");
    return;
  }
  RunRecordingOperation(kRecAndStreamAudioVideoEx, *this, {&audioInput, nullptr, streamUrls, urlCount});
}

}  // namespace capmill
