#pragma once

// Whether the desktop's accessibility is on: the AT-SPI bus answers on the session bus and
// org.a11y.Status reports IsEnabled. Blocking D-Bus calls with a short timeout; main thread.

#include <chrono>

namespace wrenfold {

class AccessibilityBusStatus {
 public:
  explicit AccessibilityBusStatus(std::chrono::milliseconds timeout = std::chrono::milliseconds(500))
      : timeout_(timeout) {}

  // True when the accessibility bus is reachable and accessibility is enabled.
  [[nodiscard]] bool isEnabled() const;
  // Switches accessibility on for the session (the bus also stores the desktop setting);
  // false when the bus is unreachable or refused.
  [[nodiscard]] bool enable() const;

 private:
  std::chrono::milliseconds timeout_;
};

}  // namespace wrenfold
