// Giving memory the process has freed back to the system.
#pragma once

namespace capmill::platform {

// After a recording the allocator keeps what the encoders and threads freed;
// a recorder that runs all day should not hold on to it.
void ReturnFreedMemory();

}  // namespace capmill::platform
