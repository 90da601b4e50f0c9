#include "library/core/worker_priority.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace myzor {

void LowerThreadPriority() {
#ifdef __linux__
  thread_local bool lowered = false;
  if (!lowered) {
    lowered = true;
    // On Linux the nice value belongs to the thread.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
  }
#endif
}

}  // namespace myzor
