#include "src/RecordingOperation.h"

#include <memory>
#include <vector>

#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "src/PellamCapmill.h"
#include "src/RecordingInputs.h"
#include "src/StreamTargets.h"
#include "src/ThreadDrivers.h"

namespace capmill {
void ReportOperationError(const RecordingOperation& operation, const std::string& message) {
  if (!operation.name) {
    log::Out("Error :" + message);
    return;
  }
  const std::string line = std::string("Error in ") + operation.name + ": " + message;
  log::ErrLine(line);
  log::Debug(line + "\n");
}

namespace {

std::vector<std::unique_ptr<StreamTarget>> SetUpStreams(const RecordingOperation& operation,
                                                        const RecordingRequest& request, RecordingInputs& inputs,
                                                        const PellamCapmill& session) {
  std::vector<std::unique_ptr<StreamTarget>> targets;
  if (operation.streams == RecordingOperation::Streams::One) {
    targets.push_back(CreateStreamTarget(*request.streamUrl, inputs.Screen(), inputs.Audio(), session));
    OpenStreamTarget(targets.back().get());
    targets.back()->StartSender(-1);
    SetPrimaryStreamTarget(targets.back().get());
  } else if (operation.streams == RecordingOperation::Streams::List) {
    targets = SetUpStreamTargets(request.streamUrls, request.urlCount, inputs.Screen(), inputs.Audio(), session);
  }
  return targets;
}

}  // namespace

namespace {

void RunAndTearDown(const RecordingOperation& operation, const PellamCapmill& session,
                    const RecordingRequest& request) {
  // Destroyed last: the file closes after every stream has let go of it.
  RecordingInputs inputs;
  std::vector<std::unique_ptr<StreamTarget>> targets;
  try {
    OpenInputs(inputs, session, operation.withAudio ? request.audioInput : nullptr);
    targets = SetUpStreams(operation, request, inputs, session);
    VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
  } catch (const std::exception& error) {
    ReportOperationError(operation, error.what());
  }
  if (operation.streams != RecordingOperation::Streams::None) ClearStreamTargets();
  targets.clear();
}

}  // namespace

void RunRecordingOperation(const RecordingOperation& operation, const PellamCapmill& session,
                           const RecordingRequest& request) {
  RunAndTearDown(operation, session, request);
  platform::ReturnFreedMemory();
}

}  // namespace capmill
