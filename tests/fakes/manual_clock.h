#pragma once

#include <chrono>
#include <mutex>

#include "core/platform/clock.h"

namespace wrenfold::testing {

// A clock that moves only when told to. Both readings start at fixed points and advance
// together; the wall reading starts at 2026-01-01T00:00:00Z, so its dates are realistic.
class ManualClock final : public Clock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::time_point{} + elapsed();
  }
  [[nodiscard]] std::chrono::system_clock::time_point wallNow() const override {
    return std::chrono::system_clock::time_point{std::chrono::seconds{1'767'225'600}} + elapsed();
  }

  // --- test interface
  void advance(std::chrono::milliseconds by) {
    std::lock_guard lock(mutex_);
    elapsed_ += by;
  }
  // Time passed since the clock was made.
  [[nodiscard]] std::chrono::milliseconds elapsed() const {
    std::lock_guard lock(mutex_);
    return elapsed_;
  }

 private:
  mutable std::mutex mutex_;
  std::chrono::milliseconds elapsed_{0};
};

}  // namespace wrenfold::testing
