#include "core/RecentFiles.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

#include "core/Settings.h"
#include "platform/DebugChannel.h"
#include "platform/RegistryStore.h"

namespace orvex {

namespace {

std::string ValueName(size_t position) { return "File" + std::to_string(position); }

// "File" and digits: a position of the list, whatever the limit was.
bool IsPositionValue(const std::string& name) {
  return name.size() > 4 && ::strncasecmp(name.c_str(), "File", 4) == 0 &&
         std::all_of(name.begin() + 4, name.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::vector<std::string> LoadRecentFiles(const RegistryStore& store, int maxFiles) {
  std::vector<std::string> files;
  for (int position = 0; position < maxFiles; ++position) {
    const auto path = store.ReadValue(kRecentFilesKey, ValueName(position));
    if (!path) break;
    if (!path->empty()) files.push_back(*path);
  }
  return files;
}

void AddRecentFile(RegistryStore& store, const std::string& path, int maxFiles) {
  if (path.empty()) return;
  std::vector<std::string> files = LoadRecentFiles(store, maxFiles);
  if (const auto same = std::find(files.begin(), files.end(), path); same != files.end()) files.erase(same);
  files.insert(files.begin(), path);
  if (files.size() > static_cast<size_t>(std::max(maxFiles, 1))) files.resize(std::max(maxFiles, 1));
  std::vector<std::pair<std::string, std::string>> values;
  for (size_t i = 0; i < files.size(); ++i) values.emplace_back(ValueName(i), files[i]);
  // Every stored position goes, not only those up to twice the limit: a
  // lowered limit would otherwise leave old recordings to come back later.
  const bool saved = store.RewriteValues(kRecentFilesKey, IsPositionValue, values);
  if (!saved)
    for (size_t i = 0; i < files.size(); ++i)
      DebugOutput(Printf("Failed to save file path %d to registry: %s\n", static_cast<int>(i), files[i].c_str()));
  DebugOutput(Printf("Saved %d file path(s) to registry under RecentFiles\n", saved ? static_cast<int>(files.size()) : 0));
}

}  // namespace orvex
