#include "src/DeviceEnumeration.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/Log.h"

namespace capmill {
namespace {

// The audio server or the device folder could not be asked at all.
constexpr unsigned kEnumerationFailed = 0x80004005;

struct Vocabulary {
  const char* exportName;  // "GetAvailableMicrophones"
  const char* plural;      // "microphones"
  const char* singular;    // "microphone"
  const char* placeholders[3];
};

constexpr Vocabulary kMicrophones{"GetAvailableMicrophones", "microphones", "microphone",
                                  {"Microphone (Realtek Audio)", "USB Microphone", "Headset Microphone"}};
constexpr Vocabulary kCameras{"GetAvailableCameras", "cameras", "camera", {"USB Camera", "Built-in Camera", "Webcam Pro"}};

std::vector<std::string> Enumerate(const Vocabulary& words, bool reachable, const std::vector<std::string>& found) {
  using log::Format;
  log::Debug(Format(512, "%s: Starting enumeration...\n", words.exportName));
  std::vector<std::string> list;
  // An empty category counts as "cannot be enumerated", as on the design's platform.
  if (!reachable || found.empty()) {
    log::Debug(Format(512, "Failed to enumerate %s, HRESULT: 0x%x\n", words.plural, reachable ? 1u : kEnumerationFailed));
    log::Debug(Format(512, "pEnum is null: %s\n", "true"));
    list.assign(std::begin(words.placeholders), std::end(words.placeholders));
  } else {
    for (const std::string& name : found) {
      if (name.empty()) continue;
      list.push_back(name);
      log::Debug("Found " + std::string(words.singular) + ": " + name + "\n");
    }
    log::Debug(Format(512, "Total %s found: %d\n", words.plural, static_cast<int>(list.size())));
  }
  log::Debug(Format(512, "%s: Returning %d devices\n", words.exportName, static_cast<int>(list.size())));
  return list;
}

}  // namespace

std::vector<std::string> MicrophoneNames(const platform::AudioSourceList& sources) {
  std::vector<std::string> names;
  for (const auto& source : sources.sources) names.push_back(source.description);
  return Enumerate(kMicrophones, sources.reachable, names);
}

std::vector<std::string> CameraNames(const platform::CameraList& cameras) {
  return Enumerate(kCameras, cameras.reachable, cameras.names);
}

std::string DefaultAudioDeviceText(const platform::AudioSourceList& sources) {
  std::string name;
  for (const auto& source : sources.sources) {
    if (source.name == sources.defaultSourceName) {
      name = source.description;
      break;
    }
  }
  // A monitor as the default source is no microphone: take the first one.
  if (name.empty() && !sources.sources.empty()) name = sources.sources.front().description;
  return "audio=" + name;
}

std::string CutUtf8(const std::string& name, size_t maxBytes) {
  if (name.size() <= maxBytes) return name;
  size_t cut = maxBytes;
  while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // continuation byte
  return name.substr(0, cut);
}

int FillDeviceList(const std::vector<std::string>& list, char* names[], int maxNames) {
  const int found = static_cast<int>(list.size());
  if (!names) return found;
  if (maxNames <= 0) return maxNames;
  const int count = std::min(found, maxNames);
  for (int i = 0; i < count; ++i) {
    names[i] = static_cast<char*>(std::calloc(kDeviceNameBytes, 1));
    if (!names[i]) return i;
    const std::string name = CutUtf8(list[i], kDeviceNameBytes - 1);
    std::memcpy(names[i], name.data(), name.size());
  }
  return count;
}

void FreeDeviceList(char* names[], int count) {
  if (!names || count < 1) return;
  for (int i = 0; i < count; ++i) {
    std::free(names[i]);
    names[i] = nullptr;
  }
}

}  // namespace capmill
