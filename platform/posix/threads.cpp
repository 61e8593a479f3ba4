#include <pthread.h>
#include <sched.h>
#include <signal.h>

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

void StartThreadsWithoutEndSignals(const std::function<void()>& start) {
  // A new thread starts with its creator's signal mask. The notes of the
  // files an interrupt deletes are changed with these signals held back on
  // the main thread only: a handler running on another thread could find
  // them half changed. The stop and continue pair change the terminal.
  sigset_t set, old;
  sigemptyset(&set);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGCONT}) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, &old);
  start();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace platform
