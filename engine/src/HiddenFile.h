// Files written under a hidden name beside their final path, so that a file
// takes its name only once it holds something worth keeping.
#pragma once

#include <string>

namespace capmill {

// Creates an empty file named "." + prefix + "-" + a unique suffix in the
// folder of path, with the permissions a new file gets there; returns its
// path, or "" (errno set) when it cannot be created.
std::string CreateHiddenFileBeside(const std::string& path, const char* prefix);

}  // namespace capmill
