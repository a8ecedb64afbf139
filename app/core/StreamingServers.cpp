#include "core/StreamingServers.h"

#include <algorithm>

#include "platform/RegistryStore.h"

namespace orvex {

const char kStreamingServersKey[] = "SOFTWARE\\OrvexLite\\StreamingServers";

StreamingServer DefaultStreamingServer() { return {"YouTube", "rtmp://a.rtmp.youtube.com/live2", "", 0}; }

std::string FormatServerEntry(const StreamingServer& server) {
  return server.name + "|" + server.rtmpUrl + "|" + server.key + "|" + (server.enabled ? "1" : "0");
}

bool ParseServerEntry(const std::string& text, StreamingServer& server) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', start)) {
    fields.push_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  fields.push_back(text.substr(start));
  fields.resize(std::max<size_t>(fields.size(), 4));
  server = {fields[0], fields[1], fields[2], fields[3] == "1" ? 1 : 0};
  return !server.name.empty() && !server.rtmpUrl.empty();
}

std::vector<StreamingServer> ReadStreamingServers(const RegistryStore& store) {
  std::vector<StreamingServer> servers;
  for (size_t index = 0;; ++index) {
    const auto value = store.EnumValue(kStreamingServersKey, index);
    if (!value) break;
    StreamingServer server;
    if (ParseServerEntry(value->second, server)) servers.push_back(server);
  }
  return servers;
}

void WriteStreamingServers(RegistryStore& store, const std::vector<StreamingServer>& servers) {
  store.DeleteKey(kStreamingServersKey);
  store.CreateKey(kStreamingServersKey);
  for (size_t i = 0; i < servers.size(); ++i)
    store.WriteValue(kStreamingServersKey, "Server" + std::to_string(i), FormatServerEntry(servers[i]));
}

std::string ServerEntryProblem(const StreamingServer& server) {
  const std::pair<const std::string*, const char*> fields[] = {
      {&server.name, "Server"}, {&server.rtmpUrl, "RTMP URL"}, {&server.key, "Key"}};
  for (const auto& [text, label] : fields)
    if (text->find('|') != std::string::npos) return std::string("The ") + label + " field must not contain \"|\".";
  return "";
}

}  // namespace orvex
