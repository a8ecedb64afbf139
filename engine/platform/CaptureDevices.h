// Where the design's capture devices live on this platform: "gdigrab" on
// "desktop" and "dshow" on "audio=NAME".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct AVFormatContext;

namespace capmill::platform {

struct DeviceInput {
  std::string format;  // the library's input format name
  std::string url;     // the input to open with it
  std::vector<std::pair<std::string, std::string>> options;  // device options of this platform
};

// Maps a design device onto this platform's device. Unknown format names map
// to themselves, so the lookup fails with the design's message.
DeviceInput MapCaptureDevice(const std::string& formatName, const std::string& inputName);

// How long ago the first sample of a packet with this timestamp was captured,
// for devices that stamp their packets with the wall clock (PulseAudio: the
// time of reading minus the source's latency); nullopt when the device gives
// no such time.
std::optional<int64_t> CaptureAgeUs(const AVFormatContext* device, int64_t pts);

// Whether the sound source a device reads from is still there (a PulseAudio
// source can be removed while it is read: the server then moves the reader
// to another source, silently). Asks the server: not for every packet.
bool AudioSourcePresent(const AVFormatContext* device);

// Whether the screen a grabber reads from is gone for good (its display
// server ended); asked only once reading has failed.
bool ScreenSourceGone(const AVFormatContext* device);

}  // namespace capmill::platform
