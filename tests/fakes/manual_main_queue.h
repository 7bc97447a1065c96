#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "core/platform/main_queue.h"
#include "fakes/manual_clock.h"

namespace wrenfold::testing {

// A main queue that runs nothing by itself: the test runs what is due, or moves time forward
// and every task falls due exactly at its time, in time order (posting order on ties).
class ManualMainQueue final : public MainQueue {
 public:
  explicit ManualMainQueue(ManualClock& clock) : clock_(clock) {}

  void post(Task task) override { postAfter(std::chrono::milliseconds{0}, std::move(task)); }
  void postAfter(std::chrono::milliseconds delay, Task task) override {
    const auto due = clock_.elapsed() + delay;
    std::lock_guard lock(mutex_);
    entries_.push_back({due, nextSequence_++, std::move(task)});
  }

  // --- test interface
  // Runs every task due now, including those they post for now.
  void runPending() { advance(std::chrono::milliseconds{0}); }
  // Moves the clock forward by `by`, running each task when its time comes.
  void advance(std::chrono::milliseconds by) {
    const auto target = clock_.elapsed() + by;
    Entry entry;
    while (takeNext(target, entry)) {
      clock_.advance(std::max(entry.due - clock_.elapsed(), std::chrono::milliseconds{0}));
      entry.task();
    }
    clock_.advance(target - clock_.elapsed());
  }
  [[nodiscard]] std::size_t pendingCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
  }

 private:
  struct Entry {
    std::chrono::milliseconds due;
    std::uint64_t sequence;
    Task task;
  };
  // Removes and returns the earliest task due at or before `limit`, if any.
  [[nodiscard]] bool takeNext(std::chrono::milliseconds limit, Entry& out) {
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

  ManualClock& clock_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace wrenfold::testing
