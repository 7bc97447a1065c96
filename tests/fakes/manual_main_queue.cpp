#include "fakes/manual_main_queue.h"

#include <algorithm>
#include <utility>

namespace wrenfold::testing {

void ManualMainQueue::post(Task task) {
  postAfter(std::chrono::milliseconds{0}, std::move(task));
}

void ManualMainQueue::postAfter(std::chrono::milliseconds delay, Task task) {
  const auto due = clock_.elapsed() + delay;
  std::lock_guard lock(mutex_);
  entries_.push_back({due, nextSequence_++, std::move(task)});
}

bool ManualMainQueue::takeNext(std::chrono::milliseconds limit, Entry& out) {
  std::lock_guard lock(mutex_);
  const auto earliest =
      std::min_element(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.due != b.due ? a.due < b.due : a.sequence < b.sequence;
      });
  if (earliest == entries_.end() || earliest->due > limit) {
    return false;
  }
  out = std::move(*earliest);
  entries_.erase(earliest);
  return true;
}

void ManualMainQueue::runPending() {
  advance(std::chrono::milliseconds{0});
}

void ManualMainQueue::advance(std::chrono::milliseconds by) {
  const auto target = clock_.elapsed() + by;
  Entry entry;
  while (takeNext(target, entry)) {
    if (entry.due > clock_.elapsed()) {
      clock_.advance(entry.due - clock_.elapsed());
    }
    entry.task();
  }
  clock_.advance(target - clock_.elapsed());
}

std::size_t ManualMainQueue::pendingCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

}  // namespace wrenfold::testing
