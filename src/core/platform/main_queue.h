#pragma once

#include <chrono>
#include <functional>

namespace wrenfold {

// The main thread's queue: the cycle and the UI run there. Work finished on a worker thread
// comes back through `post`; the paste's and the double tap's delays go through `postAfter`,
// so tests run them instantly and exactly with a manual queue.
class MainQueue {
 public:
  using Task = std::function<void()>;
  virtual ~MainQueue() = default;
  // Runs `task` on the main thread soon. Safe to call from any thread.
  virtual void post(Task task) = 0;
  // Runs `task` on the main thread once `delay` has passed. Safe to call from any thread.
  virtual void postAfter(std::chrono::milliseconds delay, Task task) = 0;
};

}  // namespace wrenfold
