// The current user's registry: a tree of keys holding string values in the
// order they were written, kept in a readable text file. Every operation
// re-reads the file under an advisory lock and every change is written to a
// temporary file and renamed, so two processes never lose each other's
// writes and a crash never leaves a half-written store.
#pragma once

#include <functional>
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
  // One change of the store: the values of `key` whose names `remove` picks
  // are deleted, then `values` are written in order. One lock and one
  // rename, so no other reader ever sees half of it.
  bool RewriteValues(const std::string& key, const std::function<bool(const std::string& name)>& remove,
                     const std::vector<std::pair<std::string, std::string>>& values);
  // Deletes the key with its values and every key below it.
  bool DeleteKey(const std::string& key);
  // The index-th value (name, data) in written order, or nothing past the end.
  std::optional<std::pair<std::string, std::string>> EnumValue(const std::string& key, size_t index) const;
  // The index-th direct subkey's name, or nothing past the end.
  std::optional<std::string> EnumSubkey(const std::string& key, size_t index) const;

  const std::string& filePath() const { return filePath_; }
  // The store keeps stream keys: a folder or file that others may read (made
  // by an earlier version, or by hand) is narrowed to its owner, with one
  // debug line each. True when anything changed.
  bool NarrowToOwner();

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

// A program path as an autostart entry's Exec= value, quoted and escaped by
// the desktop entry rules (a path with a blank must still start), and back.
std::string DesktopExecValue(const std::string& programPath);
std::string ProgramPathOfExecValue(const std::string& value);

// The start-with-the-session key; its "OrvexLite" value is an autostart entry.
extern const char kRunKey[];

}  // namespace orvex
