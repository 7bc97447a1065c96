#include "core/platform/run_loop_main_queue.h"

#include <algorithm>

namespace wrenfold {

void RunLoopMainQueue::post(Task task) {
  postAfter(std::chrono::milliseconds{0}, std::move(task));
}

void RunLoopMainQueue::postAfter(std::chrono::milliseconds delay, Task task) {
  {
    std::lock_guard lock(mutex_);
    entries_.push_back({Clock::now() + delay, nextOrder_++, std::move(task)});
  }
  changed_.notify_all();
}

// Earliest due first; equal times keep posting order.
bool RunLoopMainQueue::takeDue(Task& task) {
  const auto earliest = std::ranges::min_element(entries_, [](const Entry& a, const Entry& b) {
    return a.due != b.due ? a.due < b.due : a.order < b.order;
  });
  if (earliest == entries_.end() || earliest->due > Clock::now()) {
    return false;
  }
  task = std::move(earliest->task);
  entries_.erase(earliest);
  return true;
}

std::size_t RunLoopMainQueue::drain() {
  std::size_t ran = 0;
  Task task;
  while (true) {
    {
      std::lock_guard lock(mutex_);
      if (!takeDue(task)) {
        return ran;
      }
    }
    task();
    task = nullptr;  // let go of what the task held before the next one runs
    ++ran;
  }
}

std::size_t RunLoopMainQueue::pending() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

bool RunLoopMainQueue::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  Task task;
  while (!done()) {
    std::unique_lock lock(mutex_);
    if (takeDue(task)) {
      lock.unlock();
      task();  // run unlocked: a task may post again
      task = nullptr;
      continue;
    }
    if (Clock::now() >= deadline) {
      return false;
    }
    auto wakeAt = deadline;
    for (const Entry& entry : entries_) {
      wakeAt = std::min(wakeAt, entry.due);
    }
    changed_.wait_until(lock, wakeAt);
  }
  return true;
}

}  // namespace wrenfold
