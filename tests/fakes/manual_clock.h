#pragma once

#include <chrono>
#include <mutex>

#include "core/platform/clock.h"

namespace wrenfold::testing {

// A clock that moves only when told to. Both readings start at fixed points and advance
// together.
class ManualClock final : public Clock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override;
  [[nodiscard]] std::chrono::system_clock::time_point wallNow() const override;

  // --- test interface
  void advance(std::chrono::milliseconds by);
  // Time passed since the clock was made.
  [[nodiscard]] std::chrono::milliseconds elapsed() const;

 private:
  mutable std::mutex mutex_;
  std::chrono::milliseconds elapsed_{0};
};

}  // namespace wrenfold::testing
