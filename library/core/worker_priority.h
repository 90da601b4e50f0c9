// Work in the background yields to the window's thread: on a machine with
// few cores the window stays responsive while every core reads.
#pragma once

namespace myzor {

// Lowers the calling worker thread's priority, once per thread.
void LowerThreadPriority();

}  // namespace myzor
