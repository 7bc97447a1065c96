#include "core/trigger/double_tap_detector.h"

#include "core/platform/key_events.h"

namespace wrenfold {
namespace {

constexpr auto kAlt = static_cast<unsigned>(KeyModifier::alt);

}  // namespace

bool DoubleTapDetector::handle(const ModifierEvent& event, TimePoint now) {
  if (event.kind == ModifierEvent::Kind::otherInput) {
    lastTapAt_.reset();
    return false;
  }
  const unsigned others = event.modifiers & ~kAlt;
  if ((others & ~otherModifiers_) != 0) {
    lastTapAt_.reset();  // Shift, Ctrl or Super pressed: a chord, not a tap
  }
  otherModifiers_ = others;
  const bool down = (event.modifiers & kAlt) != 0;
  const bool fired = down && !isPressed_ && modifierDown(now);
  isPressed_ = down;
  return fired;
}

void DoubleTapDetector::reset() {
  lastTapAt_.reset();
  isPressed_ = false;
  otherModifiers_ = 0;
}

bool DoubleTapDetector::modifierDown(TimePoint now) {
  if (!lastTapAt_ || now - *lastTapAt_ >= kDoubleTapWindow) {
    lastTapAt_ = now;
    return false;
  }
  lastTapAt_.reset();  // a third press starts a new pair
  if (lastTriggerAt_ && now - *lastTriggerAt_ <= kTriggerDebounce) {
    return false;
  }
  lastTriggerAt_ = now;
  return true;
}

}  // namespace wrenfold
