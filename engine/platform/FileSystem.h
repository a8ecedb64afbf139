// What a recording needs to know about the file system it writes to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace capmill::platform {

// Bytes an unprivileged writer may still use on the file system holding
// path (a file or folder that exists); nothing when that cannot be told.
std::optional<uint64_t> FreeBytesAt(const std::string& path);

// Cuts the file back to length bytes; false when it cannot.
bool TruncateFile(const std::string& path, int64_t length);

// Whether an error (a negative errno value) means the file system will not
// take more of this file: full, over quota, read-only, failing or gone.
bool PersistentWriteFailure(int negativeErrno);

// The folder for this user's state that outlives a run ($XDG_STATE_HOME,
// default ~/.local/state, then "OrvexLite"), created when missing; "" when
// it cannot be.
std::string StateFolder();

// Whether a process with this id is running (or exists but is not ours to signal).
bool ProcessRunning(long pid);

// This process's id.
long OwnProcessId();

// A descriptor of the file for making its data durable (-1 on failure); the
// data written through any descriptor of the file reaches the disk.
int OpenForSync(const std::string& path);
void SyncData(int descriptor);
void CloseSync(int descriptor);

}  // namespace capmill::platform
