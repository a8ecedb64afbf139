// The recorder session built by every recording entry point, and its
// recording operations.
#pragma once

#include <functional>
#include <string>

namespace capmill {

struct RecordingOperation;
struct RecordingRequest;

class PellamCapmill {
 public:
  PellamCapmill(int sessionWidth, int sessionHeight, std::string rateText, std::string qualityText,
                const std::string& path)
      : frameRateText(std::move(rateText)), crfText(std::move(qualityText)), width(sessionWidth),
        height(sessionHeight), outputPath(path) {}

  // The session of a new recording: the defaults, then the engine's settings.
  static PellamCapmill FromEngine(const std::string& path);

  // Recording operations; each returns when the recording is over.
  void RecVideo();
  void RecAudioVideo(const std::string& audioInput);
  void RecAndStreamAudioVideo(const std::string& audioInput, const std::string& streamUrl);
  void RecAndStreamAudioVideoEx(const std::string& audioInput, const char* const* streamUrls, int urlCount);
  // With background music mixed into the microphone track. The file-only one
  // records without music when the music cannot be set up.
  void RecAudioVideoWithMusic(const std::string& audioInput, const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoWithMusic(const std::string& audioInput, const std::string& streamUrl,
                                       const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoExWithMusic(const std::string& audioInput, const char* const* streamUrls, int urlCount,
                                         const std::string& musicPath, int volumePercent);
  // With the music also heard on the default output.
  void RecAudioVideoWithMusicEx(const std::string& audioInput, const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoWithMusicAndPlayback(const std::string& audioInput, const std::string& streamUrl,
                                                  const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoExWithMusicAndPlayback(const std::string& audioInput, const char* const* streamUrls,
                                                    int urlCount, const std::string& musicPath, int volumePercent);

  // Into two files of their own (video; microphone with any music) in the
  // folder "AudioAndVideo" beside the requested path, combined into it at
  // the end. A set-up failure records with the ordinary operation instead.
  void RecAudioVideoSeparate(const std::string& audioInput);
  void RecAudioVideoWithMusicSeparate(const std::string& audioInput, const std::string& musicPath, int volumePercent);
  void RecAudioVideoWithMusicAndPlaybackSeparate(const std::string& audioInput, const std::string& musicPath,
                                                 int volumePercent);
  void RecAndStreamAudioVideoSeparate(const std::string& audioInput, const std::string& streamUrl);
  void RecAndStreamAudioVideoExSeparate(const std::string& audioInput, const char* const* streamUrls, int urlCount);
  void RecAndStreamAudioVideoWithMusicSeparate(const std::string& audioInput, const std::string& streamUrl,
                                               const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoExWithMusicSeparate(const std::string& audioInput, const char* const* streamUrls,
                                                 int urlCount, const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoWithMusicAndPlaybackSeparate(const std::string& audioInput, const std::string& streamUrl,
                                                          const std::string& musicPath, int volumePercent);
  void RecAndStreamAudioVideoExWithMusicAndPlaybackSeparate(const std::string& audioInput,
                                                            const char* const* streamUrls, int urlCount,
                                                            const std::string& musicPath, int volumePercent);

  std::string frameRateText;
  std::string crfText;
  int width;
  int height;
  const std::string& outputPath;

 private:
  void MusicFileOperation(const RecordingOperation& operation, const std::string& audioInput,
                          const std::string& musicPath, int volumePercent);
  void MusicStreamOperation(const RecordingOperation& operation, const std::string& audioInput,
                            const std::string* streamUrl, const char* const* streamUrls, int urlCount,
                            const std::string& musicPath, int volumePercent);
  // Records into the two files and combines them. ordinary: the operation a
  // set-up failure falls back to; withoutMusic: the separate operation a
  // music file without a decoder falls back to.
  void SeparateOperation(const RecordingOperation& operation, const RecordingRequest& request,
                         const std::function<void()>& ordinary, const std::function<void()>& withoutMusic = {});
};

}  // namespace capmill
