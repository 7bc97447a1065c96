#pragma once

// The trigger's collaborators in memory: a manual clock and main queue, a modifier monitor and
// hot keys the test drives, and user defaults.

#include "core/platform/notification_center.h"
#include "core/trigger/hotkey_controller.h"
#include "core/trigger/shortcut_registry.h"
#include "fakes/fake_global_hot_keys.h"
#include "fakes/fake_modifier_monitor.h"
#include "fakes/fake_user_defaults.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"

namespace wrenfold::testing {

struct TriggerHarness {
  ManualClock clock;
  ManualMainQueue queue{clock};
  NotificationCenter notifications{queue};
  FakeUserDefaults defaults;
  FakeGlobalHotKeys hotKeys;
  FakeModifierMonitor monitor;
  ShortcutRegistry registry{defaults, hotKeys, notifications};
};

}  // namespace wrenfold::testing
