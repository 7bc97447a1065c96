#include "core/platform/thread_work_queue.h"

#include <utility>

namespace wrenfold {

ThreadWorkQueue::ThreadWorkQueue() : thread_([this] { loop(); }) {}

ThreadWorkQueue::~ThreadWorkQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void ThreadWorkQueue::run(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void ThreadWorkQueue::loop() {
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) {
        return;  // stopping, and everything queued has run
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

}  // namespace wrenfold
