#include <windows.h>

#include <thread>

#include "platform/platform.h"

namespace platform {

unsigned ProcessorsAvailable() {
  DWORD_PTR process = 0, system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    unsigned count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count;
  }
  const unsigned all = std::thread::hardware_concurrency();
  return all > 0 ? all : 1;
}

void StartThreadsWithoutEndSignals(const std::function<void()>& start) {
  // Ctrl-C comes on a thread of its own, which takes the lock of the notes.
  start();
}

}  // namespace platform
