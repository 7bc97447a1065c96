#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/platform/main_queue.h"
#include "fakes/manual_clock.h"

namespace wrenfold::testing {

// A main queue that runs nothing by itself: the test runs what is due, or moves time forward
// and every task falls due exactly at its time, in time order (posting order on ties).
class ManualMainQueue final : public MainQueue {
 public:
  explicit ManualMainQueue(ManualClock& clock) : clock_(clock) {}

  void post(Task task) override;
  void postAfter(std::chrono::milliseconds delay, Task task) override;

  // --- test interface
  // Runs every task due now, including those they post for now.
  void runPending();
  // Moves the clock forward by `by`, running each task when its time comes.
  void advance(std::chrono::milliseconds by);
  [[nodiscard]] std::size_t pendingCount() const;

 private:
  struct Entry {
    std::chrono::milliseconds due;
    std::uint64_t sequence;
    Task task;
  };
  // Removes and returns the earliest task due at or before `limit`, if any.
  [[nodiscard]] bool takeNext(std::chrono::milliseconds limit, Entry& out);

  ManualClock& clock_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::uint64_t nextSequence_ = 0;
};

}  // namespace wrenfold::testing
