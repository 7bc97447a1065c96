#include "fakes/fake_modifier_monitor.h"

#include <utility>

namespace wrenfold::testing {

bool FakeModifierMonitor::start(Handler handler) {
  if (!available_) {
    return false;
  }
  if (!running_) {
    ++installs_;
  }
  running_ = true;
  handler_ = std::move(handler);
  return true;
}

void FakeModifierMonitor::stop() {
  running_ = false;
  handler_ = nullptr;
}

void FakeModifierMonitor::modifiers(unsigned held) {
  report({ModifierEvent::Kind::modifiersChanged, held, time_});
}

void FakeModifierMonitor::otherInput(unsigned held) {
  report({ModifierEvent::Kind::otherInput, held, time_});
}

void FakeModifierMonitor::report(const ModifierEvent& event) {
  if (running_ && handler_) {
    handler_(event);
  }
}

}  // namespace wrenfold::testing
