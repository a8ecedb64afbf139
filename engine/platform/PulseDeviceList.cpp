// Capture sources from the PulseAudio server (PipeWire's pulse server speaks
// the same protocol).
#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>

#include "platform/DeviceLists.h"

namespace capmill::platform {
namespace {

constexpr auto kServerTimeout = std::chrono::seconds(3);

struct MainloopDeleter {
  void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextDeleter {
  void operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};
struct OperationDeleter {
  void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};

struct Query {
  AudioSourceList result;
  bool sourcesDone = false;
  bool serverDone = false;
};

void OnSource(pa_context*, const pa_source_info* info, int eol, void* data) {
  auto* query = static_cast<Query*>(data);
  if (eol) {
    query->sourcesDone = true;
    return;
  }
  if (!info || info->monitor_of_sink != PA_INVALID_INDEX) return;  // monitors are not microphones
  query->result.sources.push_back({info->name ? info->name : "", info->description ? info->description : ""});
}

void OnServer(pa_context*, const pa_server_info* info, void* data) {
  auto* query = static_cast<Query*>(data);
  if (info && info->default_source_name) query->result.defaultSourceName = info->default_source_name;
  query->serverDone = true;
}

// Runs the loop until done() or the deadline; false when the server failed.
template <typename Done>
bool RunUntil(pa_mainloop* loop, pa_context* context, Done done) {
  const auto deadline = std::chrono::steady_clock::now() + kServerTimeout;
  while (!done()) {
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) return false;
    if (std::chrono::steady_clock::now() > deadline) return false;
    // Poll in short slices so the deadline is honoured even when the server is silent.
    if (pa_mainloop_prepare(loop, 100 * 1000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
      return false;
  }
  return true;
}

}  // namespace

AudioSourceList QueryAudioSources() {
  Query query;
  std::unique_ptr<pa_mainloop, MainloopDeleter> loop(pa_mainloop_new());
  if (!loop) return query.result;
  std::unique_ptr<pa_context, ContextDeleter> context(
      pa_context_new(pa_mainloop_get_api(loop.get()), "Capmill device list"));
  if (!context) return query.result;
  if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return query.result;
  if (!RunUntil(loop.get(), context.get(),
                [&] { return pa_context_get_state(context.get()) == PA_CONTEXT_READY; }))
    return query.result;

  std::unique_ptr<pa_operation, OperationDeleter> sources(
      pa_context_get_source_info_list(context.get(), OnSource, &query));
  std::unique_ptr<pa_operation, OperationDeleter> server(
      pa_context_get_server_info(context.get(), OnServer, &query));
  if (!sources || !server) return query.result;
  if (!RunUntil(loop.get(), context.get(), [&] { return query.sourcesDone && query.serverDone; })) {
    query.result.sources.clear();
    return query.result;
  }
  query.result.reachable = true;
  return query.result;
}

}  // namespace capmill::platform
