#include "src/HiddenFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace capmill {

std::string CreateHiddenFileBeside(const std::string& path, const char* prefix) {
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  static thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "." + prefix + "-" + std::to_string(random() % 1000000000000ULL);
    // 0666 and the process's umask: the permissions of any new file there.
    const int descriptor = ::open(name.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (descriptor >= 0) {
      ::close(descriptor);
      return name;
    }
    if (errno != EEXIST) return "";
  }
  return "";
}

}  // namespace capmill
