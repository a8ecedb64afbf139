// A stand-in for the capture engine: it remembers every call, and each
// recording entry point blocks like the real one until it is stopped. Like
// the real engine it forgets a stop that comes before its inputs are built.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/RecordingEngine.h"

namespace testsupport {

class FakeEngine : public orvex::RecordingEngine {
 public:
  struct Call {
    std::string name;
    std::vector<std::string> args;
  };

  // Settings for the fake's behaviour; set them before a recording starts.
  std::vector<std::string> microphones, cameras;
  std::string defaultAudio = "audio=Default Microphone";
  std::set<orvex::EntryPoint> unavailable;
  int startDelayMs = 0;         // time before the inputs are built (the clock is null)
  int finishDelayMs = 0;        // time to finish the file after a stop
  bool endsOnItsOwn = false;    // the recording ends at once, as after a failure
  std::string stopReason;       // what the engine says of a recording it ended
  std::vector<std::string> recovered;  // files the next start recovers, once

  std::vector<Call> Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  // The recording calls only, without settings and control calls.
  std::vector<Call> Recordings() const {
    std::vector<Call> found;
    for (const Call& call : Calls())
      if (call.name.rfind("qelRecord", 0) == 0) found.push_back(call);
    return found;
  }
  int CountOf(const std::string& name) const {
    int count = 0;
    for (const Call& call : Calls()) count += call.name == name;
    return count;
  }
  bool Running() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
  }

  bool IsAvailable(orvex::EntryPoint entry) const override { return !unavailable.count(entry); }
  void SetFrameRate(int fps) override { Note("qelsetFrameRate", {std::to_string(fps)}); }
  void SetCrf(int crf) override { Note("qelSetCrf", {std::to_string(crf)}); }
  void SetVideoRes(int width, int height) override {
    Note("qelSetVideoRes", {std::to_string(width), std::to_string(height)});
  }
  void SetMusicVolume(int percent) override { Note("qelSetMusicVolume", {std::to_string(percent)}); }
  void StopRecording() override {
    Note("qelStopRecording", {});
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    wake_.notify_all();
  }
  void StopFFmpegProcess() override { Note("qelStopFFmpegProcess", {}); }
  void PauseRecording() override {
    Note("qelPauseRecording", {});
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
  }
  void ResumeRecording() override {
    Note("qelResumeRecording", {});
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = false;
  }
  bool IsRecordingPaused() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return paused_;
  }
  void* GetGlobalTimer() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return clock_ ? this : nullptr;
  }
  void SetSystemMonitoringEnabled(bool enabled) override { Note("qelSetSystemMonitoringEnabled", {Bool(enabled)}); }
  void SetDynamicLimitsEnabled(bool enabled) override { Note("qelSetDynamicLimitsEnabled", {Bool(enabled)}); }
  int GetAvailableMicrophones(char* names[], int maxNames) override { return Fill(microphones, names, maxNames); }
  int GetAvailableCameras(char* names[], int maxNames) override { return Fill(cameras, names, maxNames); }
  void FreeDeviceList(char* names[], int count) override {
    for (int i = 0; i < count; ++i) {
      std::free(names[i]);
      names[i] = nullptr;
    }
    freed_ += count;
  }
  std::string GetDefaultAudioDeviceNameAsString() override { return defaultAudio; }
  std::string GetRecordingStopReason() override { return stopReason; }
  std::vector<std::string> RecoverUnfinishedRecordings() override { return std::exchange(recovered, {}); }
  int freed() const { return freed_; }

  void RecordScreen(const char* out) override { Record("qelRecordScreen", {out}); }
  void RecordScreenWithAudio(const char* out, const char* audio) override {
    Record("qelRecordScreenWithAudio", {out, audio});
  }
  void RecordScreenWithAudioSeparate(const char* out, const char* audio) override {
    Record("qelRecordScreenWithAudioSeparate", {out, audio});
  }
  void RecordScreenWithAudioAndMusic(const char* out, const char* audio, const char* music, int volume) override {
    Record("qelRecordScreenWithAudioAndMusic", {out, audio, music, std::to_string(volume)});
  }
  void RecordScreenWithAudioAndMusicSeparate(const char* out, const char* audio, const char* music,
                                             int volume) override {
    Record("qelRecordScreenWithAudioAndMusicSeparate", {out, audio, music, std::to_string(volume)});
  }
  void RecordScreenWithAudioAndMusicWithDefaultDevPlayback(const char* out, const char* audio, const char* music,
                                                           int volume) override {
    Record("qelRecordScreenWithAudioAndMusicWithDefaultDevPlayback", {out, audio, music, std::to_string(volume)});
  }
  void RecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate(const char* out, const char* audio,
                                                                   const char* music, int volume) override {
    Record("qelRecordScreenWithAudioAndMusicWithDefaultDevPlaybackSeparate",
           {out, audio, music, std::to_string(volume)});
  }
  void RecordAndStreamDesktopOne(const char* audio, const char* out, const char* url) override {
    Record("qelRecordAndStreamDesktopOne", {audio, out, url});
  }
  void RecordAndStreamDesktopOneSeparate(const char* audio, const char* out, const char* url) override {
    Record("qelRecordAndStreamDesktopOneSeparate", {audio, out, url});
  }
  void RecordAndStreamDesktopOneWithMusic(const char* audio, const char* out, const char* url, const char* music,
                                          int volume) override {
    Record("qelRecordAndStreamDesktopOneWithMusic", {audio, out, url, music, std::to_string(volume)});
  }
  void RecordAndStreamDesktopOneWithMusicSeparate(const char* audio, const char* out, const char* url,
                                                  const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopOneWithMusicSeparate", {audio, out, url, music, std::to_string(volume)});
  }
  void RecordAndStreamDesktopOneWithMusicAndPlayback(const char* audio, const char* out, const char* url,
                                                     const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopOneWithMusicAndPlayback", {audio, out, url, music, std::to_string(volume)});
  }
  void RecordAndStreamDesktopOneWithMusicAndPlaybackSeparate(const char* audio, const char* out, const char* url,
                                                             const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopOneWithMusicAndPlaybackSeparate",
           {audio, out, url, music, std::to_string(volume)});
  }
  void RecordAndStreamDesktop(const char* out, const char* audio, const char* urls[], int count) override {
    Record("qelRecordAndStreamDesktop", List({out, audio}, urls, count));
  }
  void RecordAndStreamDesktopSeparate(const char* out, const char* audio, const char* urls[], int count) override {
    Record("qelRecordAndStreamDesktopSeparate", List({out, audio}, urls, count));
  }
  void RecordAndStreamDesktopWithMusic(const char* out, const char* audio, const char* urls[], int count,
                                       const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopWithMusic", List({out, audio}, urls, count, music, volume));
  }
  void RecordAndStreamDesktopWithMusicSeparate(const char* out, const char* audio, const char* urls[], int count,
                                               const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopWithMusicSeparate", List({out, audio}, urls, count, music, volume));
  }
  void RecordAndStreamDesktopWithMusicAndPlayback(const char* out, const char* audio, const char* urls[], int count,
                                                  const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopWithMusicAndPlayback", List({out, audio}, urls, count, music, volume));
  }
  void RecordAndStreamDesktopWithMusicAndPlaybackSeparate(const char* out, const char* audio, const char* urls[],
                                                          int count, const char* music, int volume) override {
    Record("qelRecordAndStreamDesktopWithMusicAndPlaybackSeparate",
           List({out, audio}, urls, count, music, volume));
  }

 private:
  static std::string Bool(bool value) { return value ? "true" : "false"; }
  // Arguments of a list entry point: the URLs, then the count, then music.
  static std::vector<std::string> List(std::vector<std::string> head, const char* urls[], int count,
                                       const char* music = nullptr, int volume = 0) {
    for (int i = 0; i < count; ++i) head.push_back(urls[i]);
    head.push_back(std::to_string(count));
    if (music) {
      head.push_back(music);
      head.push_back(std::to_string(volume));
    }
    return head;
  }
  static int Fill(const std::vector<std::string>& list, char* names[], int maxNames) {
    if (!names) return static_cast<int>(list.size());
    int count = 0;
    for (; count < maxNames && count < static_cast<int>(list.size()); ++count) {
      names[count] = static_cast<char*>(std::calloc(256, 1));
      std::strncpy(names[count], list[count].c_str(), 255);
    }
    return count;
  }
  void Note(const std::string& name, std::vector<std::string> args) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back({name, std::move(args)});
  }
  void Record(const std::string& name, std::vector<std::string> args) {
    Note(name, std::move(args));
    std::unique_lock<std::mutex> lock(mutex_);
    running_ = true;
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(startDelayMs));
    lock.lock();
    stop_ = false;  // building the inputs clears an earlier stop, as the engine does
    clock_ = true;
    if (!endsOnItsOwn) wake_.wait(lock, [this] { return stop_; });
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(finishDelayMs));
    lock.lock();
    clock_ = false;
    running_ = false;
    stop_ = false;
  }

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Call> calls_;
  bool stop_ = false, clock_ = false, paused_ = false, running_ = false;
  int freed_ = 0;
};

}  // namespace testsupport
