#pragma once

#include <utility>

#include "core/platform/modifier_monitor.h"

namespace wrenfold::testing {

// A modifier monitor the test drives: it reports what the test sends while it runs.
class FakeModifierMonitor final : public ModifierMonitor {
 public:
  [[nodiscard]] bool start(Handler handler) override {
    if (!available_) {
      return false;
    }
    installs_ += running_ ? 0 : 1;
    running_ = true;
    handler_ = std::move(handler);
    return true;
  }
  void stop() override {
    running_ = false;
    handler_ = nullptr;
  }

  // --- test interface
  // A session without system-wide key events: `start` fails.
  void setAvailable(bool available) { available_ = available; }
  [[nodiscard]] bool isRunning() const { return running_; }
  // Times the monitor went from stopped to running.
  [[nodiscard]] int installCount() const { return installs_; }
  // Reports the held modifiers (KeyModifier bits) after a modifier key went down or up.
  void modifiers(unsigned held) { report({ModifierEvent::Kind::modifiersChanged, held, time_}); }
  // Reports a key that is not a modifier, or a mouse button.
  void otherInput(unsigned held = 0) { report({ModifierEvent::Kind::otherInput, held, time_}); }
  // Events from now on carry this time stamp (none: the monitor cannot tell).
  void setEventTime(std::optional<std::chrono::milliseconds> time) { time_ = time; }

 private:
  void report(const ModifierEvent& event) {
    if (running_ && handler_) {
      handler_(event);
    }
  }

  Handler handler_;
  bool available_ = true;
  bool running_ = false;
  int installs_ = 0;
  std::optional<std::chrono::milliseconds> time_;
};

}  // namespace wrenfold::testing
