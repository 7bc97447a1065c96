#pragma once

#include <deque>
#include <mutex>

#include "core/platform/work_queue.h"

namespace wrenfold::testing {

// A work queue whose tasks run only when the test says so, on the test's thread.
class ManualWorkQueue final : public WorkQueue {
 public:
  void run(Task task) override;

  // --- test interface
  // Runs queued tasks, including those they queue, until none is left; returns how many ran.
  std::size_t runAll();
  [[nodiscard]] std::size_t pendingCount() const;

 private:
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
};

}  // namespace wrenfold::testing
