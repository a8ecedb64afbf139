#include "SpeakerRecorder.h"

#include <signal.h>

#include <chrono>
#include <thread>

#include "MediaProbe.h"
#include "Processes.h"

namespace testsupport {

std::optional<std::vector<float>> RecordSpeakerWhile(const std::function<void()>& play) {
  TempDir dir;
  const std::string heard = dir / "heard.wav";
  // Small fragments, so that nothing is still on its way when it is stopped.
  ChildProcess recorder({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "pulse", "-fragment_size", "4096", "-i",
                         "spk.monitor", "-ac", "2", "-ar", "44100", heard},
                        {}, dir / "ffmpeg.log");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // the recorder's first sound
  play();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // what is still queued
  ::kill(recorder.pid(), SIGINT);
  if (!recorder.WaitForExit(std::chrono::seconds(5)).has_value()) return std::nullopt;
  return DecodeAudio(heard);
}

}  // namespace testsupport
