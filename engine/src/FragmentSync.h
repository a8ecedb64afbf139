// Makes what a recording's file has been handed reach the disk, fragment by
// fragment, on a thread of its own: the writer never waits for the disk, and
// a power loss costs at most the fragment in flight.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace capmill {

class FragmentSync {
 public:
  // Follows the file at path (it may be renamed later).
  explicit FragmentSync(const std::string& path);
  ~FragmentSync();  // syncs what is left, then stops
  FragmentSync(const FragmentSync&) = delete;
  FragmentSync& operator=(const FragmentSync&) = delete;

  // New bytes were handed to the system.
  void Written();

 private:
  void Run();

  int descriptor_ = -1;
  std::mutex lock_;
  std::condition_variable wake_;
  bool pending_ = false;   // guarded by lock_
  bool stopping_ = false;  // guarded by lock_
  std::thread thread_;
};

}  // namespace capmill
