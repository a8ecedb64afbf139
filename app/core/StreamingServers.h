// The user's list of RTMP servers and how it is stored.
#pragma once

#include <string>
#include <vector>

namespace orvex {

class RegistryStore;

struct StreamingServer {
  std::string name;
  std::string rtmpUrl;
  std::string key;
  int enabled = 0;  // 0 or 1
  bool operator==(const StreamingServer& other) const = default;
};

extern const char kStreamingServersKey[];

// The entry shown when nothing is stored: a public ingest point, disabled.
StreamingServer DefaultStreamingServer();

// "name|url|key|1": the stored form of one entry.
std::string FormatServerEntry(const StreamingServer& server);
// Splits a stored entry at every "|"; false when name or URL is empty.
bool ParseServerEntry(const std::string& text, StreamingServer& server);

// The stored list in stored order (entries without name or URL skipped).
std::vector<StreamingServer> ReadStreamingServers(const RegistryStore& store);
// Replaces the stored list: the subkey is deleted and written anew.
void WriteStreamingServers(RegistryStore& store, const std::vector<StreamingServer>& servers);

// Why an entry typed by the user cannot be stored, or empty when it can.
// A "|" would shift the stored fields, so no field may contain one.
std::string ServerEntryProblem(const StreamingServer& server);

}  // namespace orvex
