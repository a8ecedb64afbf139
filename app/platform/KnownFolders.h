// The user's well-known folders on this platform.
#pragma once

#include <string>

namespace orvex {

// Roaming application data: $XDG_DATA_HOME, default ~/.local/share. Empty
// when neither is set.
std::string RoamingAppDataFolder();
// The user's documents folder.
std::string DocumentsFolder();

}  // namespace orvex
