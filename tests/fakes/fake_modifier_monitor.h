#pragma once

#include "core/platform/modifier_monitor.h"

namespace wrenfold::testing {

// A modifier monitor the test drives: it reports what the test sends while it runs.
class FakeModifierMonitor final : public ModifierMonitor {
 public:
  [[nodiscard]] bool start(Handler handler) override;
  void stop() override;

  // --- test interface
  // A session without system-wide key events: `start` fails.
  void setAvailable(bool available) { available_ = available; }
  [[nodiscard]] bool isRunning() const { return running_; }
  // Times the monitor went from stopped to running.
  [[nodiscard]] int installCount() const { return installs_; }
  // Reports the held modifiers (KeyModifier bits) after a modifier key went down or up.
  void modifiers(unsigned held);
  // Reports a key that is not a modifier, or a mouse button.
  void otherInput(unsigned held = 0);
  // Events from now on carry this time stamp (none: the monitor cannot tell).
  void setEventTime(std::optional<std::chrono::milliseconds> time) { time_ = time; }

 private:
  void report(const ModifierEvent& event);

  Handler handler_;
  bool available_ = true;
  bool running_ = false;
  int installs_ = 0;
  std::optional<std::chrono::milliseconds> time_;
};

}  // namespace wrenfold::testing
