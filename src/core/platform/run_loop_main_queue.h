#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "core/platform/main_queue.h"

namespace wrenfold {

// A main queue on the standard library for programs without a GUI event loop (the command
// line) and for tests: `post` and `postAfter` only enqueue (from any thread), and the owning
// thread drains the queue with `runUntil`, in real time.
class RunLoopMainQueue final : public MainQueue {
 public:
  void post(Task task) override;
  void postAfter(std::chrono::milliseconds delay, Task task) override;

  // Runs due tasks on the calling thread, waiting for more, until `done()` holds (checked after
  // every task and before each wait) or `timeout` passes. Returns whether `done()` held.
  [[nodiscard]] bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  // Runs the tasks that are due now, without waiting. Returns how many ran.
  std::size_t drain();
  // Tasks posted and not yet run, due or not.
  [[nodiscard]] std::size_t pending() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    Clock::time_point due;
    unsigned long long order;
    Task task;
  };
  [[nodiscard]] bool takeDue(Task& task);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Entry> entries_;
  unsigned long long nextOrder_ = 0;
};

}  // namespace wrenfold
