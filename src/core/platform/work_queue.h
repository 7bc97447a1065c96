#pragma once

#include <functional>

namespace wrenfold {

// Blocking work (window capture, JPEG encoding) runs here, off the main thread; results go
// back through MainQueue. Tasks must not touch main-thread-only objects.
class WorkQueue {
 public:
  using Task = std::function<void()>;
  WorkQueue() = default;
  virtual ~WorkQueue() = default;
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Runs `task` on a background thread, in the order given. Safe to call from any thread.
  virtual void run(Task task) = 0;
};

}  // namespace wrenfold
