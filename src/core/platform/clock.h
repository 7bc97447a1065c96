#pragma once

#include <chrono>

namespace wrenfold {

// Time as the cycle sees it: a monotonic clock for intervals (double tap) and the wall clock
// for timestamps. Tests advance a manual one.
class Clock {
 public:
  virtual ~Clock() = default;
  [[nodiscard]] virtual std::chrono::steady_clock::time_point now() const = 0;
  [[nodiscard]] virtual std::chrono::system_clock::time_point wallNow() const = 0;
};

// The real clocks.
class SystemClock final : public Clock {
 public:
  [[nodiscard]] std::chrono::steady_clock::time_point now() const override {
    return std::chrono::steady_clock::now();
  }
  [[nodiscard]] std::chrono::system_clock::time_point wallNow() const override {
    return std::chrono::system_clock::now();
  }
};

}  // namespace wrenfold
