#pragma once

// Turns keyboard input anywhere on the desktop into one call of `onQuickTrigger`. Two triggers
// exclude each other: the custom shortcut recorded under `kShowAssistant`, which fires when it
// is released, and, while none is recorded, a double tap of Alt. Main thread only.

#include <cstdint>
#include <functional>
#include <memory>

#include "core/platform/clock.h"
#include "core/platform/main_queue.h"
#include "core/platform/modifier_monitor.h"
#include "core/trigger/double_tap_detector.h"
#include "core/trigger/shortcut_registry.h"

namespace wrenfold {

// The one shortcut name this program uses; it has no default shortcut.
inline const ShortcutRegistry::Name kShowAssistant{"showAssistant", std::nullopt};

class HotkeyController {
 public:
  // Everything handed in outlives the controller.
  HotkeyController(ModifierMonitor& monitor, ShortcutRegistry& registry, MainQueue& mainQueue,
                   const Clock& clock);
  ~HotkeyController();
  HotkeyController(const HotkeyController&) = delete;
  HotkeyController& operator=(const HotkeyController&) = delete;

  // Called once per recognised trigger; set before `start`.
  std::function<void()> onQuickTrigger;

  // At launch: attaches the custom shortcut's action (once), enables the name, and watches for
  // the double tap unless a custom shortcut is stored and active: a stored shortcut the desktop
  // refuses (another program holds it) leaves the double tap on, so a trigger is never lost.
  void start();
  // After the custom shortcut changed: the double tap is on exactly while no shortcut is active.
  void customShortcutChanged();
  // Starts the double-tap monitor unless it already runs. A monitor the session cannot provide
  // leaves the double tap off, silently; a later call tries again.
  void startDefaultShortcutMonitoring();
  // Stops the monitor and forgets a started pair; the last trigger's time stays.
  void stopDefaultShortcutMonitoring();

  [[nodiscard]] bool isDefaultShortcutMonitoringOn() const { return isMonitoring_; }

 private:
  void handle(const ModifierEvent& event, std::uint64_t generation);
  void fire();

  ModifierMonitor& monitor_;
  ShortcutRegistry& registry_;
  MainQueue& mainQueue_;
  const Clock& clock_;
  DoubleTapDetector detector_;
  bool isMonitoring_ = false;
  bool isListeningForCustomShortcut_ = false;
  // Events already queued when monitoring stops belong to the old generation and are dropped.
  std::uint64_t generation_ = 0;
  // Callbacks hold this weakly: once the controller is gone they do nothing.
  std::shared_ptr<HotkeyController*> self_;
};

}  // namespace wrenfold
