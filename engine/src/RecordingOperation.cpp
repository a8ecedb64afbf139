#include "src/RecordingOperation.h"

#include <memory>
#include <vector>

#include "platform/FreedMemory.h"
#include "platform/Log.h"
#include "src/PellamCapmill.h"
#include "src/PlaybackDevice.h"
#include "src/RecordingInputs.h"
#include "src/StreamTargets.h"
#include "src/ThreadDrivers.h"

namespace capmill {
void ReportOperationError(const RecordingOperation& operation, const std::string& message) {
  if (operation.reportOnStandardOutput) {
    const std::string line = log::Format(512, "Error in %s: %s\n", operation.name, message.c_str());
    log::Debug(line);
    log::Out(line);
    return;
  }
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

OperationResult RunAndTearDown(const RecordingOperation& operation, const PellamCapmill& session,
                               const RecordingRequest& request) {
  OperationResult result;
  // Destroyed last: the file closes after every stream has let go of it.
  // The device opens before any input and closes after the driver or the
  // failure: none outlives its recording.
  if (operation.playbackWarning && !InitPlaybackDevice(request.musicVolumePercent))
    log::Debug(operation.playbackWarning);
  RecordingInputs inputs;
  std::vector<std::unique_ptr<StreamTarget>> targets;
  try {
    const MusicRequest music{request.musicPath, operation.music};
    OpenInputs(inputs, session, operation.withAudio ? request.audioInput : nullptr, operation.music ? &music : nullptr);
    targets = SetUpStreams(operation, request, inputs, session);
    if (operation.music) {
      const double volume = request.musicVolumePercent / 100.0;
      const std::string call = log::Format(512, operation.music->driverCall, volume);
      log::Debug(call);
      log::Out(call);
      if (operation.playbackWarning)
        VideoAudioWithMusicAndPlaybackThreadDriver(inputs.Screen(), inputs.Audio(), inputs.Music(), volume);
      else
        VideoAudioWithMusicThreadDriver(inputs.Screen(), inputs.Audio(), inputs.Music(), volume);
      log::Debug(operation.music->completed);
      log::Out(operation.music->completed);
    } else {
      VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
    }
  } catch (const std::exception& error) {
    ReportOperationError(operation, error.what());
    result.setupFailed = true;
  }
  if (operation.playbackWarning) ShutdownPlaybackDevice();
  // Releasing the inputs clears the stop flag: keep what it said.
  result.stopRequested = Engine().stopRequested;
  if (operation.streams != RecordingOperation::Streams::None) ClearStreamTargets();
  targets.clear();
  return result;
}

}  // namespace

OperationResult RunRecordingOperation(const RecordingOperation& operation, const PellamCapmill& session,
                                      const RecordingRequest& request) {
  const OperationResult result = RunAndTearDown(operation, session, request);
  platform::ReturnFreedMemory();
  return result;
}

}  // namespace capmill
