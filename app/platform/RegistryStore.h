// The current user's registry: a tree of keys holding string values in the
// order they were written, kept in a readable text file. Every operation
// re-reads the file under an advisory lock and every change is written to a
// temporary file and renamed, so two processes never lose each other's
// writes and a crash never leaves a half-written store.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

class RegistryStore {
 public:
  // The store file; the Run key's entry lives in autostartFolder.
  RegistryStore(std::string filePath, std::string autostartFolder);
  // $XDG_CONFIG_HOME/OrvexLite/registry.txt (default ~/.config) and
  // $XDG_CONFIG_HOME/autostart.
  static RegistryStore ForCurrentUser();

  // Key paths use backslashes ("SOFTWARE\\OrvexLite\\StreamingServers") and
  // are compared without regard to case. Writes create missing keys.
  bool CreateKey(const std::string& key);
  bool KeyExists(const std::string& key) const;
  std::optional<std::string> ReadValue(const std::string& key, const std::string& name) const;
  bool WriteValue(const std::string& key, const std::string& name, const std::string& value);
  bool DeleteValue(const std::string& key, const std::string& name);
  // Deletes the key with its values and every key below it.
  bool DeleteKey(const std::string& key);
  // The index-th value (name, data) in written order, or nothing past the end.
  std::optional<std::pair<std::string, std::string>> EnumValue(const std::string& key, size_t index) const;
  // The index-th direct subkey's name, or nothing past the end.
  std::optional<std::string> EnumSubkey(const std::string& key, size_t index) const;

  const std::string& filePath() const { return filePath_; }

 private:
  struct Key {
    std::string path;  // as first written
    std::vector<std::pair<std::string, std::string>> values;
  };
  using Tree = std::vector<Key>;

  template <typename Change>
  bool Modify(Change change);
  Tree Load() const;
  bool IsRunKey(const std::string& key) const;
  std::string AutostartFile() const;

  std::string filePath_;
  std::string autostartFolder_;
};

// The start-with-the-session key; its "OrvexLite" value is an autostart entry.
extern const char kRunKey[];

}  // namespace orvex
