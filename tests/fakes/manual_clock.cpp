#include "fakes/manual_clock.h"

namespace wrenfold::testing {
namespace {
// 2026-01-01T00:00:00Z, so wall-clock readings are realistic dates.
constexpr std::chrono::seconds kWallStart{1'767'225'600};
}  // namespace

std::chrono::steady_clock::time_point ManualClock::now() const {
  return std::chrono::steady_clock::time_point{} + elapsed();
}

std::chrono::system_clock::time_point ManualClock::wallNow() const {
  return std::chrono::system_clock::time_point{kWallStart} + elapsed();
}

void ManualClock::advance(std::chrono::milliseconds by) {
  std::lock_guard lock(mutex_);
  elapsed_ += by;
}

std::chrono::milliseconds ManualClock::elapsed() const {
  std::lock_guard lock(mutex_);
  return elapsed_;
}

}  // namespace wrenfold::testing
