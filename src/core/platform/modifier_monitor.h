#pragma once

// The system-wide modifier monitor port: which modifier keys are held, as they change, in every
// application including ours, plus a note of every other key or mouse button pressed. It only
// watches: the keys still reach the application they were meant for.

#include <chrono>
#include <functional>
#include <optional>

namespace wrenfold {

struct ModifierEvent {
  enum class Kind {
    modifiersChanged,  // a modifier key went down or up; `modifiers` holds the new state
    otherInput,        // a key that is not a modifier, or a mouse button, was pressed
  };
  Kind kind = Kind::modifiersChanged;
  unsigned modifiers = 0;  // KeyModifier bits (core/platform/key_events.h) held after the event
  // When the key event happened, on the monitor's own clock (the X server's time), when it can
  // tell: events reach the main thread late and in bursts, so timing goes by this instead.
  std::optional<std::chrono::milliseconds> time;

  bool operator==(const ModifierEvent&) const = default;
};

class ModifierMonitor {
 public:
  using Handler = std::function<void(const ModifierEvent&)>;

  ModifierMonitor() = default;
  virtual ~ModifierMonitor() = default;
  ModifierMonitor(const ModifierMonitor&) = delete;
  ModifierMonitor& operator=(const ModifierMonitor&) = delete;

  // Starts reporting to `handler`, on the main thread, until `stop`. False when this session
  // offers no system-wide key events (no X server, no XInput 2); nothing is reported then. A
  // monitor already running keeps running and takes the new handler. Main thread only.
  [[nodiscard]] virtual bool start(Handler handler) = 0;
  // Stops reporting and forgets the handler; harmless when not running. Main thread only.
  virtual void stop() = 0;
};

}  // namespace wrenfold
