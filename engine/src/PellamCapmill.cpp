#include "src/PellamCapmill.h"

#include "platform/Log.h"
#include "src/RecordingInputs.h"
#include "src/StreamTargets.h"
#include "src/ThreadDrivers.h"

namespace capmill {
namespace {

void ReportStreamError(const char* operation, const std::string& message) {
  const std::string line = std::string("Error in ") + operation + ": " + message;
  log::ErrLine(line);
  log::Debug(line + "\n");
}

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

void PellamCapmill::RecVideo() {
  try {
    RecordingInputs inputs;
    OpenInputs(inputs, *this, nullptr);
    VideoAudioThreadDriver(inputs.Screen(), nullptr);
  } catch (const std::exception& error) {
    log::Out(std::string("Error :") + error.what());
  }
}

void PellamCapmill::RecAudioVideo(const std::string& audioInput) {
  try {
    RecordingInputs inputs;
    OpenInputs(inputs, *this, &audioInput);
    VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
  } catch (const std::exception& error) {
    log::Out(std::string("Error :") + error.what());
  }
}

void PellamCapmill::RecAndStreamAudioVideo(const std::string& audioInput, const std::string& streamUrl) {
  RecordingInputs inputs;
  std::unique_ptr<StreamTarget> target;
  try {
    OpenInputs(inputs, *this, &audioInput);
    target = CreateStreamTarget(streamUrl, inputs.Screen(), inputs.Audio(), *this);
    OpenStreamTarget(target.get());
    target->StartSender(-1);
    SetPrimaryStreamTarget(target.get());
    VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
  } catch (const std::exception& error) {
    ReportStreamError("RecAndStreamAudioVideo", error.what());
  }
  SetPrimaryStreamTarget(nullptr);
  target.reset();
}

void PellamCapmill::RecAndStreamAudioVideoEx(const std::string& audioInput, const char* const* streamUrls,
                                             int urlCount) {
  if (!streamUrls || urlCount < 1) {
    ReportStreamError("RecAndStreamAudioVideoEx", "Invalid stream URL list or count");
    return;
  }
  RecordingInputs inputs;
  std::vector<std::unique_ptr<StreamTarget>> targets;
  try {
    OpenInputs(inputs, *this, &audioInput);
    targets = SetUpStreamTargets(streamUrls, urlCount, inputs.Screen(), inputs.Audio(), *this);
    VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
  } catch (const std::exception& error) {
    ReportStreamError("RecAndStreamAudioVideoEx", error.what());
  }
  ClearStreamTargets();
  targets.clear();
}

}  // namespace capmill
