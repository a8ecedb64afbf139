// Waits until the display server has carried out every request this process
// sent it: a window hidden before a recording resumes is gone from the
// screen, not only from the request queue.
#pragma once

namespace orvex {

// Does nothing where there is no X display (the offscreen platform).
void WaitForDisplay();

}  // namespace orvex
