#pragma once

// Recognises a double tap of Alt from the monitor's events: the second press must follow the
// first within 0.36 s, and a trigger is at least 0.6 s after the previous one. Alt is part of
// many chords on this desktop (Alt+Tab, Alt+F4, menu mnemonics), so any other key or mouse
// button pressed between the two taps cancels the pair.

#include <chrono>
#include <optional>

#include "core/platform/modifier_monitor.h"

namespace wrenfold {

class DoubleTapDetector {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  static constexpr std::chrono::milliseconds kDoubleTapWindow{360};
  static constexpr std::chrono::milliseconds kTriggerDebounce{600};

  // Takes one event seen at `now`; true when it completes a double tap that should trigger.
  [[nodiscard]] bool handle(const ModifierEvent& event, TimePoint now);
  // Forgets a started pair and the held state; the last trigger's time stays.
  void reset();

 private:
  [[nodiscard]] bool modifierDown(TimePoint now);

  std::optional<TimePoint> lastTapAt_;
  bool isPressed_ = false;
  std::optional<TimePoint> lastTriggerAt_;
  unsigned otherModifiers_ = 0;  // held modifiers other than Alt, to see one newly pressed
};

}  // namespace wrenfold
