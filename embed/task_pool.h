// A few threads that run the numbered tasks of one batch at a time, the
// calling thread among them. The tasks must not touch platform::Current():
// the test wrappers around it are not thread-safe, and the fault walk needs
// every call to come in the same order on every run.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TaskPool {
 public:
  // `threads` counts the caller: 1 or 0 starts no thread at all.
  explicit TaskPool(unsigned threads);
  ~TaskPool();
  TaskPool(const TaskPool&) = delete;
  TaskPool& operator=(const TaskPool&) = delete;

  // Runs task(0) ... task(count - 1), in any order and on any of the
  // threads, and returns when all have ended. A task must not throw.
  void Run(std::size_t count, const std::function<void(std::size_t)>& task);

 private:
  void Work();
  // Takes and runs tasks of the current batch until none is left; called
  // with `lock` held, returns with it held.
  void RunTasks(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable wake_, ended_;
  const std::function<void(std::size_t)>* task_ = nullptr;
  std::size_t count_ = 0, next_ = 0, running_ = 0;
  unsigned long long batch_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};
