#include <sched.h>

#include <thread>

#include "platform/platform.h"

namespace platform {

unsigned ProcessorsAvailable() {
  // A run under taskset or a container's CPU set may use fewer processors
  // than the machine has: threads beyond those only take turns.
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? all : 1;
}

}  // namespace platform
