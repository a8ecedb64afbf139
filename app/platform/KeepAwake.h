// Keeping the computer awake, asked with the execution-state values of the
// design: continuous | system required | away mode.
#pragma once

#include <cstdint>
#include <mutex>

namespace orvex {

inline constexpr uint32_t ES_CONTINUOUS = 0x80000000u;
inline constexpr uint32_t ES_SYSTEM_REQUIRED = 0x00000001u;
inline constexpr uint32_t ES_AWAYMODE_REQUIRED = 0x00000040u;

class KeepAwake {
 public:
  virtual ~KeepAwake() = default;
  // ES_CONTINUOUS alone gives back what is held. False: the platform refused.
  virtual bool SetExecutionState(uint32_t state) = 0;
};

// A systemd-logind inhibitor taken over the system bus: "sleep:idle" with
// away mode, "idle" without. The inhibitor lives as long as the descriptor
// logind hands back; a new request gives up the one held first. Each call
// connects anew and keeps no connection, so a bus that appears later is used.
class LogindKeepAwake : public KeepAwake {
 public:
  LogindKeepAwake() = default;
  ~LogindKeepAwake() override;
  LogindKeepAwake(const LogindKeepAwake&) = delete;
  LogindKeepAwake& operator=(const LogindKeepAwake&) = delete;
  bool SetExecutionState(uint32_t state) override;

 private:
  void CloseHeld();

  std::mutex lock_;
  int held_ = -1;
};

// Refuses everything: for a window that must not touch the session.
class NoKeepAwake : public KeepAwake {
 public:
  bool SetExecutionState(uint32_t) override { return false; }
};

}  // namespace orvex
