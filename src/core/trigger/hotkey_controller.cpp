#include "core/trigger/hotkey_controller.h"

namespace wrenfold {

HotkeyController::HotkeyController(ModifierMonitor& monitor, ShortcutRegistry& registry, MainQueue& mainQueue,
                                   const Clock& clock)
    : monitor_(monitor),
      registry_(registry),
      mainQueue_(mainQueue),
      clock_(clock),
      self_(std::make_shared<HotkeyController*>(this)) {}

HotkeyController::~HotkeyController() {
  if (isMonitoring_) {
    monitor_.stop();
  }
}

void HotkeyController::start() {
  if (!isListeningForCustomShortcut_) {
    registry_.onKeyUp(kShowAssistant, [weak = std::weak_ptr(self_)] {
      if (const auto self = weak.lock()) {
        (*self)->fire();
      }
    });
    isListeningForCustomShortcut_ = true;
  }
  registry_.enable({kShowAssistant});
  customShortcutChanged();
}

void HotkeyController::customShortcutChanged() {
  if (registry_.isActive(kShowAssistant)) {
    stopDefaultShortcutMonitoring();
  } else {
    startDefaultShortcutMonitoring();
  }
}

void HotkeyController::startDefaultShortcutMonitoring() {
  if (isMonitoring_) {
    return;
  }
  const std::uint64_t generation = ++generation_;
  // Each event becomes a main-queue task of its own, as the monitor may call from its reader.
  isMonitoring_ = monitor_.start(
      [weak = std::weak_ptr(self_), queue = &mainQueue_, generation](const ModifierEvent& event) {
        queue->post([weak, generation, event] {
          if (const auto self = weak.lock()) {
            (*self)->handle(event, generation);
          }
        });
      });
}

void HotkeyController::stopDefaultShortcutMonitoring() {
  if (isMonitoring_) {
    monitor_.stop();
    isMonitoring_ = false;
  }
  ++generation_;
  detector_.reset();
}

void HotkeyController::handle(const ModifierEvent& event, std::uint64_t generation) {
  if (generation != generation_ || !isMonitoring_) {
    return;
  }
  // The key's own time when the monitor knows it: a pair typed 0.2 s apart may be handled
  // 0.5 s apart after a busy moment, and two taps 0.5 s apart may be handled back to back.
  const DoubleTapDetector::TimePoint at =
      event.time ? DoubleTapDetector::TimePoint(*event.time) : clock_.now();
  if (detector_.handle(event, at)) {
    fire();
  }
}

void HotkeyController::fire() {
  if (onQuickTrigger) {
    onQuickTrigger();
  }
}

}  // namespace wrenfold
