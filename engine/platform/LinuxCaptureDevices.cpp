#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include "platform/CaptureDevices.h"
#include "platform/DeviceLists.h"

namespace capmill::platform {
namespace {

constexpr const char kAudioPrefix[] = "audio=";
// Without a fragment size the server hands over audio in blocks of up to two
// seconds; about 23 ms of 16-bit stereo keeps capture latency low.
constexpr const char kPulseFragmentBytes[] = "4096";
// The grabber's stream is fully described by its header; probing it for the
// default five seconds (or 42 MB of frames) only delays the recording's start.
constexpr const char kGrabberAnalyzeUs[] = "200000";
// A PulseAudio source's format is known once it is open; the default
// analysis reads almost two seconds of sound before the recording may start.
constexpr const char kPulseAnalyzeUs[] = "1000";

// The friendly name is the source's description; its own name is accepted too.
// An unknown name is passed on unchanged so that opening it fails.
std::string ResolveAudioSource(const std::string& wanted) {
  if (wanted.empty()) return std::string();  // the server's default source
  const AudioSourceList list = QueryAudioSources();
  for (const AudioSource& source : list.sources)
    if (source.description == wanted || source.name == wanted) return source.name;
  return wanted;
}

}  // namespace

DeviceInput MapCaptureDevice(const std::string& formatName, const std::string& inputName) {
  if (formatName == "gdigrab") {
    const char* display = std::getenv("DISPLAY");
    return {"x11grab", display && *display ? display : ":0", {{"analyzeduration", kGrabberAnalyzeUs}}};
  }
  if (formatName == "dshow") {
    // Only "audio=" texts name a microphone; anything else must fail to open,
    // and an empty source name would silently open the default source.
    if (inputName.rfind(kAudioPrefix, 0) != 0) return {"pulse", "?" + inputName, {}};
    const std::string source = ResolveAudioSource(inputName.substr(sizeof(kAudioPrefix) - 1));
    return {"pulse", source.empty() ? std::string("default") : source, {{"fragment_size", kPulseFragmentBytes}, {"analyzeduration", kPulseAnalyzeUs}}};
  }
  return {formatName, inputName, {}};
}

std::optional<int64_t> CaptureAgeUs(const AVFormatContext* device, int64_t pts) {
  // The pulse device stamps in microseconds of av_gettime() (its "wallclock"
  // option, on by default).
  if (!device || !device->iformat || std::strcmp(device->iformat->name, "pulse") != 0 || pts == AV_NOPTS_VALUE)
    return std::nullopt;
  return av_gettime() - pts;
}

bool AudioSourcePresent(const AVFormatContext* device) {
  if (!device || !device->iformat || std::strcmp(device->iformat->name, "pulse") != 0 || !device->url) return true;
  const AudioSourceList list = QueryAudioSources();
  if (!list.reachable) return false;
  if (std::strcmp(device->url, "default") == 0) return true;
  for (const AudioSource& source : list.sources)
    if (source.name == device->url) return true;
  return false;
}

bool ScreenSourceGone(const AVFormatContext* device) {
  if (!device || !device->iformat || std::strcmp(device->iformat->name, "x11grab") != 0 || !device->url) return false;
  xcb_connection_t* connection = xcb_connect(device->url, nullptr);
  const bool gone = xcb_connection_has_error(connection) != 0;
  xcb_disconnect(connection);
  return gone;
}

}  // namespace capmill::platform
