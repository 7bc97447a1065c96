#include "fakes/manual_work_queue.h"

#include <utility>

namespace wrenfold::testing {

void ManualWorkQueue::run(Task task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
}

std::size_t ManualWorkQueue::runAll() {
  std::size_t count = 0;
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) {
        return count;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++count;
  }
}

std::size_t ManualWorkQueue::pendingCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

}  // namespace wrenfold::testing
