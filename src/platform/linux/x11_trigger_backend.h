#pragma once

// The X11 side of the global trigger, built for the application: the modifier monitor for the
// Alt double tap and the global hot keys for the custom shortcut, each on a private connection
// to $DISPLAY. Create it on the GUI thread once the Qt application object exists. Without an X
// display both parts are inert: the monitor does not start and every registration fails.
// This header includes no X11 header, so Qt code may include it in any order.

#include <memory>

#include "core/platform/global_hot_keys.h"
#include "core/platform/key_events.h"
#include "core/platform/modifier_monitor.h"

namespace wrenfold {

class XInput2ModifierMonitor;
class X11GlobalHotKeys;

class X11TriggerBackend {
 public:
  X11TriggerBackend();
  ~X11TriggerBackend();
  X11TriggerBackend(const X11TriggerBackend&) = delete;
  X11TriggerBackend& operator=(const X11TriggerBackend&) = delete;

  [[nodiscard]] ModifierMonitor& modifierMonitor();
  [[nodiscard]] GlobalHotKeys& globalHotKeys();
  // The synthetic-key port with Wrenfold's own keys kept out of the double tap: hand this to
  // whatever posts keys (the text inserter) instead of `inner`. `inner` and this backend
  // outlive the result.
  [[nodiscard]] std::unique_ptr<KeyEvents> ownKeyEvents(KeyEvents& inner);

 private:
  std::unique_ptr<XInput2ModifierMonitor> monitor_;
  std::unique_ptr<X11GlobalHotKeys> hotKeys_;
};

}  // namespace wrenfold
