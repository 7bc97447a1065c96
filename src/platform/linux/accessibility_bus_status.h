#pragma once

// Whether the desktop's accessibility is on: the AT-SPI bus answers on the session bus and
// org.a11y.Status reports IsEnabled. Blocking D-Bus calls with a short timeout; main thread.
// Uses GDBus only, never libatspi, so it is safe when no accessibility bus exists.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace wrenfold {

class AccessibilityBusStatus {
 public:
  explicit AccessibilityBusStatus(std::chrono::milliseconds timeout = std::chrono::milliseconds(500));
  ~AccessibilityBusStatus();
  AccessibilityBusStatus(const AccessibilityBusStatus&) = delete;
  AccessibilityBusStatus& operator=(const AccessibilityBusStatus&) = delete;

  // The address of the accessibility bus, when the session bus reaches its launcher (D-Bus
  // starts the launcher when the desktop has not); absent without a session bus or launcher.
  [[nodiscard]] std::optional<std::string> busAddress() const;
  // True when the accessibility bus is reachable and accessibility is enabled. Asked once, then
  // known from the launcher's change signal until it says otherwise or leaves the bus.
  [[nodiscard]] bool isEnabled() const;
  // Switches accessibility on for the session (the bus also stores the desktop setting);
  // false when the bus is unreachable or refused.
  [[nodiscard]] bool enable() const;

  // Whether a screen reader is announced (ScreenReaderEnabled): browsers and Electron
  // applications look at it to decide whether to build their accessibility tree.
  [[nodiscard]] bool isScreenReaderAnnounced() const;
  // Announces a screen reader, as screen readers do when they start; false when refused.
  [[nodiscard]] bool announceScreenReader() const;

 private:
  [[nodiscard]] bool flag(const char* property) const;
  [[nodiscard]] bool setFlag(const char* property) const;

  struct Watch;
  std::chrono::milliseconds timeout_;
  mutable std::unique_ptr<Watch> watch_;  // from the first answer on
};

}  // namespace wrenfold
