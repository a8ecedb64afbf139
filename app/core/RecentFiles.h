// The paths of the latest recordings, newest first, under the store's
// "RecentFiles" subkey as "File0", "File1", ...
#pragma once

#include <string>
#include <vector>

namespace orvex {

class RegistryStore;

// At most maxFiles entries; reading stops at the first missing position and
// skips empty ones. Paths of any length are read whole.
std::vector<std::string> LoadRecentFiles(const RegistryStore& store, int maxFiles);
// Puts the path first (once), keeps maxFiles entries and writes the list in
// one change of the store, removing every older position.
void AddRecentFile(RegistryStore& store, const std::string& path, int maxFiles);

}  // namespace orvex
