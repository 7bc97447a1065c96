#pragma once

#include <deque>
#include <mutex>
#include <utility>

#include "core/platform/work_queue.h"

namespace wrenfold::testing {

// A work queue whose tasks run only when the test says so, on the test's thread.
class ManualWorkQueue final : public WorkQueue {
 public:
  void run(Task task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }

  // --- test interface
  // Runs queued tasks, including those they queue, until none is left; returns how many ran.
  std::size_t runAll() {
    std::size_t count = 0;
    while (runOne()) {
      ++count;
    }
    return count;
  }
  // Runs the oldest queued task; false when none was queued.
  bool runOne() {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (tasks_.empty()) {
        return false;
      }
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    return true;
  }
  [[nodiscard]] std::size_t pendingCount() const {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
};

}  // namespace wrenfold::testing
