#include "embed/task_pool.h"

#include <system_error>

#include "platform/platform.h"

TaskPool::TaskPool(unsigned threads) {
  platform::StartThreadsWithoutEndSignals([&] {
    try {
      for (unsigned i = 1; i < threads; ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer threads do the same work, only later.
    }
  });
}

TaskPool::~TaskPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void TaskPool::Run(std::size_t count, const std::function<void(std::size_t)>& task) {
  if (threads_.empty() || count <= 1) {
    for (std::size_t i = 0; i < count; ++i) task(i);
    return;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  task_ = &task;
  count_ = count;
  next_ = 0;
  ++batch_;
  wake_.notify_all();
  RunTasks(lock);
  ended_.wait(lock, [this] { return next_ == count_ && running_ == 0; });
  task_ = nullptr;
}

void TaskPool::RunTasks(std::unique_lock<std::mutex>& lock) {
  while (task_ && next_ < count_) {
    const std::size_t i = next_++;
    ++running_;
    const auto* task = task_;
    lock.unlock();
    (*task)(i);
    lock.lock();
    --running_;
  }
  if (running_ == 0) ended_.notify_all();
}

void TaskPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  unsigned long long seen = 0;
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || (batch_ != seen && task_ != nullptr); });
    if (stop_) return;
    seen = batch_;
    RunTasks(lock);
  }
}
