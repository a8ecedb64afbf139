// Microphone and camera lists as the exports hand them out.
#pragma once

#include <string>
#include <vector>

#include "platform/DeviceLists.h"

namespace capmill {

constexpr int kDeviceNameBytes = 256;

// The list the exports return, with the placeholders when the system cannot
// be asked. Writes the enumeration's debug lines.
std::vector<std::string> MicrophoneNames(const platform::AudioSourceList& sources);
std::vector<std::string> CameraNames(const platform::CameraList& cameras);

// "audio=" followed by the default microphone's name.
std::string DefaultAudioDeviceText(const platform::AudioSourceList& sources);

// Cuts a name to at most maxBytes bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& name, size_t maxBytes);

// Fills names[0..] with engine-allocated 256-byte copies; see the exports.
int FillDeviceList(const std::vector<std::string>& list, char* names[], int maxNames);
void FreeDeviceList(char* names[], int count);

}  // namespace capmill
