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

// Runs the operation's thread driver, with the music's report lines around it.
void RunDriver(const RecordingOperation& operation, RecordingInputs& inputs, const RecordingRequest& request) {
  if (!operation.music) {
    VideoAudioThreadDriver(inputs.Screen(), inputs.Audio());
    return;
  }
  const double volume = request.musicVolumePercent / 100.0;
  const char* completed = operation.music->completed;
  if (const char* call = operation.music->driverCall) {
    const std::string line = log::Format(512, call, volume);
    log::Debug(line);
    log::Out(line);
  }
  if (operation.playbackWarning)
    VideoAudioWithMusicAndPlaybackThreadDriver(inputs.Screen(), inputs.Audio(), inputs.Music(), volume);
  else
    VideoAudioWithMusicThreadDriver(inputs.Screen(), inputs.Audio(), inputs.Music(), volume);
  if (completed) {
    log::Debug(completed);
    log::Out(completed);
  }
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
    const MusicRequest* withMusic = operation.music ? &music : nullptr;
    bool ready = true;
    if (operation.separate)
      ready = OpenSeparateInputs(inputs, session, *request.separatePaths, *request.audioInput, withMusic);
    else
      OpenInputs(inputs, session, operation.withAudio ? request.audioInput : nullptr, withMusic);
    if (ready) {
      targets = SetUpStreams(operation, request, inputs, session);
      RunDriver(operation, inputs, request);
    } else {
      result.musicMissing = true;
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
