// The recorder session built by every recording entry point, and its
// recording operations.
#pragma once

#include <string>

namespace capmill {

struct RecordingOperation;

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
};

}  // namespace capmill
