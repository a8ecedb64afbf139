#include "platform/RegistryStore.h"

#include "platform/DebugChannel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvex {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

namespace fs = std::filesystem;

constexpr const char kHeader[] = "OrvexLite registry 1";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool SameKey(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

// Whether key lies below parent (at any depth).
bool Below(const std::string& key, const std::string& parent) {
  return key.size() > parent.size() + 1 && SameKey(key.substr(0, parent.size()), parent) && key[parent.size()] == '\\';
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case ']': out += "\\]"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

// Position of the closing quote of a quoted field starting after `from`.
size_t ClosingQuote(const std::string& line, size_t from) {
  for (size_t i = from; i < line.size(); ++i) {
    if (line[i] == '\\') ++i;
    else if (line[i] == '"') return i;
  }
  return std::string::npos;
}

// Holds an advisory lock on the store's lock file for its lifetime.
// The store holds stream keys: its own folder is the owner's alone, whatever
// the umask. The folders above it are the user's and keep their modes.
void MakePrivateFolder(const fs::path& folder) {
  std::error_code ignored;
  if (fs::is_directory(folder, ignored)) return;
  fs::create_directories(folder.parent_path(), ignored);
  if (::mkdir(folder.c_str(), 0700) == 0) ::chmod(folder.c_str(), 0700);
}

// Opens (creating) a file only its owner may read or write.
int OpenPrivateFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0) ::fchmod(fd, 0600);
  return fd;
}

class FileLock {
 public:
  FileLock(const std::string& storePath, bool exclusive) {
    MakePrivateFolder(fs::path(storePath).parent_path());
    fd_ = OpenPrivateFile(storePath + ".lock", O_RDWR);
    if (fd_ >= 0) ::flock(fd_, exclusive ? LOCK_EX : LOCK_SH);
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

RegistryStore::RegistryStore(std::string filePath, std::string autostartFolder)
    : filePath_(std::move(filePath)), autostartFolder_(std::move(autostartFolder)) {}

RegistryStore RegistryStore::ForCurrentUser() {
  std::string config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) config = xdg;
  else config = std::string(std::getenv("HOME") ? std::getenv("HOME") : "/tmp") + "/.config";
  return RegistryStore(config + "/OrvexLite/registry.txt", config + "/autostart");
}

RegistryStore::Tree RegistryStore::Load() const {
  Tree tree;
  std::ifstream file(filePath_, std::ios::binary);
  std::string line;
  Key* current = nullptr;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      tree.push_back({Unescape(line.substr(1, line.size() - 2)), {}});
      current = &tree.back();
      continue;
    }
    if (!current || line.empty() || line[0] != '"') continue;
    const size_t nameEnd = ClosingQuote(line, 1);
    if (nameEnd == std::string::npos || line.compare(nameEnd + 1, 2, "=\"") != 0) continue;
    const size_t valueEnd = ClosingQuote(line, nameEnd + 3);
    if (valueEnd == std::string::npos) continue;
    current->values.emplace_back(Unescape(line.substr(1, nameEnd - 1)),
                                 Unescape(line.substr(nameEnd + 3, valueEnd - nameEnd - 3)));
  }
  return tree;
}

template <typename Change>
bool RegistryStore::Modify(Change change) {
  FileLock lock(filePath_, true);
  if (!lock.held()) return false;
  Tree tree = Load();
  if (!change(tree)) return false;
  std::ostringstream text;
  text << kHeader << "\n";
  for (const Key& key : tree) {
    text << "\n[" << Escape(key.path) << "]\n";
    for (const auto& [name, value] : key.values) text << '"' << Escape(name) << "\"=\"" << Escape(value) << "\"\n";
  }
  const std::string temporary = filePath_ + ".tmp." + std::to_string(::getpid());
  {
    const int fd = OpenPrivateFile(temporary, O_WRONLY | O_TRUNC);
    const std::string contents = text.str();
    bool written = fd >= 0;
    for (size_t done = 0; written && done < contents.size();) {
      const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) done += static_cast<size_t>(n);
    }
    // Durable before it replaces the old contents.
    if (written) written = ::fsync(fd) == 0;
    if (fd >= 0 && ::close(fd) != 0) written = false;
    if (!written) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  return std::rename(temporary.c_str(), filePath_.c_str()) == 0;
}

std::string DesktopExecValue(const std::string& programPath) {
  // Field codes start with "%"; a literal one is doubled.
  std::string argument;
  for (char c : programPath) argument += c == '%' ? std::string("%%") : std::string(1, c);
  if (argument.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos) {
    std::string quoted = "\"";
    for (char c : argument) {
      if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
      quoted += c;
    }
    argument = quoted + "\"";
  }
  // The value is a string of the entry file: backslashes and line ends escaped.
  std::string value;
  for (char c : argument) {
    if (c == '\\') value += "\\\\";
    else if (c == '\n') value += "\\n";
    else value += c;
  }
  return value;
}

std::string ProgramPathOfExecValue(const std::string& value) {
  std::string argument;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      argument += value[i];
      continue;
    }
    const char next = value[++i];
    argument += next == 'n' ? '\n' : next == 't' ? '\t' : next == 's' ? ' ' : next == 'r' ? '\r' : next;
  }
  std::string path;
  const bool quoted = argument.size() >= 2 && argument.front() == '"' && argument.back() == '"';
  const std::string inner = quoted ? argument.substr(1, argument.size() - 2) : argument;
  for (size_t i = 0; i < inner.size(); ++i) {
    if (quoted && inner[i] == '\\' && i + 1 < inner.size()) path += inner[++i];
    else if (inner[i] == '%' && i + 1 < inner.size() && inner[i + 1] == '%') path += inner[i++];
    else path += inner[i];
  }
  return path;
}

bool RegistryStore::NarrowToOwner() {
  const fs::path folder = fs::path(filePath_).parent_path();
  bool narrowed = false;
  const auto narrow = [&](const fs::path& path, mode_t wanted) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & 077) != 0 && ::chmod(path.c_str(), wanted) == 0)
      narrowed = true;
  };
  narrow(folder, 0700);
  narrow(filePath_, 0600);
  narrow(filePath_ + ".lock", 0600);
  if (narrowed) DebugOutput("Settings store was readable by other users; narrowed to its owner: " + folder.string() + "\n");
  return narrowed;
}

bool RegistryStore::IsRunKey(const std::string& key) const { return SameKey(key, kRunKey); }

std::string RegistryStore::AutostartFile() const { return autostartFolder_ + "/OrvexLite.desktop"; }

bool RegistryStore::CreateKey(const std::string& key) {
  if (IsRunKey(key)) return true;
  return Modify([&](Tree& tree) {
    for (const Key& k : tree)
      if (SameKey(k.path, key)) return false;  // nothing to write
    tree.push_back({key, {}});
    return true;
  }) || KeyExists(key);
}

bool RegistryStore::KeyExists(const std::string& key) const {
  if (IsRunKey(key)) return true;
  FileLock lock(filePath_, false);
  for (const Key& k : Load())
    if (SameKey(k.path, key) || Below(k.path, key)) return true;
  return false;
}

std::optional<std::string> RegistryStore::ReadValue(const std::string& key, const std::string& name) const {
  if (IsRunKey(key)) {
    if (name != "OrvexLite") return std::nullopt;
    std::ifstream desktop(AutostartFile());
    std::string line;
    while (std::getline(desktop, line))
      if (line.rfind("Exec=", 0) == 0) return ProgramPathOfExecValue(line.substr(5));
    return std::nullopt;
  }
  FileLock lock(filePath_, false);
  for (const Key& k : Load()) {
    if (!SameKey(k.path, key)) continue;
    for (const auto& [valueName, value] : k.values)
      if (SameKey(valueName, name)) return value;
  }
  return std::nullopt;
}

bool RegistryStore::WriteValue(const std::string& key, const std::string& name, const std::string& value) {
  if (IsRunKey(key)) {
    if (name != "OrvexLite") return false;
    std::error_code ignored;
    fs::create_directories(autostartFolder_, ignored);
    std::ofstream desktop(AutostartFile(), std::ios::trunc);
    desktop << "[Desktop Entry]\nType=Application\nName=OrvexLite\nExec=" << DesktopExecValue(value)
            << "\nX-GNOME-Autostart-enabled=true\n";
    return static_cast<bool>(desktop);
  }
  return RewriteValues(key, [](const std::string&) { return false; }, {{name, value}});
}

bool RegistryStore::RewriteValues(const std::string& key, const std::function<bool(const std::string&)>& remove,
                                  const std::vector<std::pair<std::string, std::string>>& values) {
  if (IsRunKey(key)) return false;
  return Modify([&](Tree& tree) {
    auto k = std::find_if(tree.begin(), tree.end(), [&](const Key& each) { return SameKey(each.path, key); });
    if (k == tree.end()) {
      tree.push_back({key, {}});
      k = tree.end() - 1;
    }
    std::erase_if(k->values, [&](const auto& value) { return remove(value.first); });
    for (const auto& [name, value] : values) {
      auto same = std::find_if(k->values.begin(), k->values.end(), [&](const auto& v) { return SameKey(v.first, name); });
      if (same != k->values.end()) same->second = value;
      else k->values.emplace_back(name, value);
    }
    return true;
  });
}

bool RegistryStore::DeleteValue(const std::string& key, const std::string& name) {
  if (IsRunKey(key)) return name == "OrvexLite" && std::remove(AutostartFile().c_str()) == 0;
  return Modify([&](Tree& tree) {
    for (Key& k : tree) {
      if (!SameKey(k.path, key)) continue;
      const auto before = k.values.size();
      k.values.erase(std::remove_if(k.values.begin(), k.values.end(),
                                    [&](const auto& value) { return SameKey(value.first, name); }),
                     k.values.end());
      return k.values.size() != before;
    }
    return false;
  });
}

bool RegistryStore::DeleteKey(const std::string& key) {
  if (IsRunKey(key)) return false;
  return Modify([&](Tree& tree) {
    const auto before = tree.size();
    tree.erase(std::remove_if(tree.begin(), tree.end(),
                              [&](const Key& k) { return SameKey(k.path, key) || Below(k.path, key); }),
               tree.end());
    return tree.size() != before;
  });
}

std::optional<std::pair<std::string, std::string>> RegistryStore::EnumValue(const std::string& key, size_t index) const {
  if (IsRunKey(key)) {
    if (index != 0) return std::nullopt;
    if (auto value = ReadValue(key, "OrvexLite")) return std::make_pair(std::string("OrvexLite"), *value);
    return std::nullopt;
  }
  FileLock lock(filePath_, false);
  for (const Key& k : Load())
    if (SameKey(k.path, key)) return index < k.values.size() ? std::optional(k.values[index]) : std::nullopt;
  return std::nullopt;
}

std::optional<std::string> RegistryStore::EnumSubkey(const std::string& key, size_t index) const {
  FileLock lock(filePath_, false);
  std::vector<std::string> children;
  for (const Key& k : Load()) {
    if (!Below(k.path, key)) continue;
    std::string child = k.path.substr(key.size() + 1);
    child = child.substr(0, child.find('\\'));
    if (std::none_of(children.begin(), children.end(), [&](const std::string& c) { return SameKey(c, child); }))
      children.push_back(child);
  }
  return index < children.size() ? std::optional(children[index]) : std::nullopt;
}

}  // namespace orvex
