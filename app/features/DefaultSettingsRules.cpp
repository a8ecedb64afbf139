#include "features/DefaultSettingsRules.h"

#include <cctype>
#include <strings.h>

#include "core/CloudDrive.h"
#include "platform/RegistryStore.h"

namespace orvex {

const char* const kQualityNames[5] = {"Very Large", "Large", "Medium", "Small", "Very Small"};

namespace {
constexpr int kQualityCrf[5] = {10, 15, 20, 25, 30};
constexpr int kMediumCrf = 20;
constexpr int kLowestFps = 1, kHighestFps = 120;
constexpr char kAutostartName[] = "OrvexLite";
}  // namespace

int QualityIndexForCrf(int crf) {
  if (crf <= 10) return 0;
  if (crf <= 15) return 1;
  if (crf <= 20) return 2;
  if (crf <= 25) return 3;
  return 4;
}

int CrfForQuality(const std::string& name) {
  for (int i = 0; i < 5; ++i)
    if (name == kQualityNames[i]) return kQualityCrf[i];
  return kMediumCrf;
}

int LimitFps(const std::string& text) {
  long long value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) break;
    value = value * 10 + (c - '0');
    if (value > kHighestFps) return kHighestFps;  // stops long before an overflow
  }
  return value < kLowestFps ? kLowestFps : static_cast<int>(value);
}

int CloudDriveIndex(const std::string& stored) {
  if (stored.empty()) return 0;
  for (int i = 0; i < 3; ++i)
    if (::strncasecmp(kCloudDriveTypes[i], stored.c_str(), stored.size()) == 0) return i;
  return 0;
}

bool AutostartPresent(const RegistryStore& store) { return store.ReadValue(kRunKey, kAutostartName).has_value(); }

bool SetAutostart(RegistryStore& store, bool wanted, const std::string& programPath) {
  if (wanted == AutostartPresent(store)) return true;
  if (wanted) return store.WriteValue(kRunKey, kAutostartName, programPath);
  return store.DeleteValue(kRunKey, kAutostartName) || !AutostartPresent(store);
}

}  // namespace orvex
