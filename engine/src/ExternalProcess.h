// The engine's slot for one external process it may be asked to stop.
#pragma once

#include <sys/types.h>

namespace capmill {

// Puts the process into the slot. It must lead its own process group (the
// interrupt goes to that group and must never reach the engine's); false
// when it does not or the slot is taken. No operation of the library fills
// the slot; tests do.
bool RegisterExternalProcess(pid_t pid);

// Interrupts the process's group, waits up to 3 s, kills it if it still
// runs, reaps it and empties the slot. Nothing happens when the slot is empty.
void StopExternalProcess();

}  // namespace capmill
