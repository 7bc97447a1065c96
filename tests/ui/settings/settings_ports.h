#pragma once

// What a settings window under test runs on: a temporary data folder, a logger that keeps
// nothing, and in-memory ports whose worker and main queue run only when told to.

#include <memory>

#include "core/support/app_logger.h"
#include "core/support/app_paths.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_window_capture.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "settings/recording_desktop_services.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_view.h"

namespace wrenfold::testing {

struct SettingsPorts {
  [[nodiscard]] SettingsContext context(ModelConfigStore& configs, StyleMemoryStore& memory,
                                        LaunchAtLogin* launchAtLogin = nullptr) {
    return {configs,       memory,    paths,     desktop,      accessibility,
            windowCapture, workQueue, mainQueue, launchAtLogin};
  }
  // Lets queued checks finish on the "worker" and their answers arrive on the "main thread".
  void settle() {
    workQueue.runAll();
    mainQueue.runPending();
  }

  TempDir dir;
  AppPaths paths{dir / "Wrenfold"};
  AppLogger logger{paths, std::make_shared<SilentSystemLog>()};
  RecordingDesktopServices desktop;
  FakeAccessibility accessibility;
  FakeWindowCapture windowCapture;
  ManualWorkQueue workQueue;
  ManualClock clock;
  ManualMainQueue mainQueue{clock};
};

}  // namespace wrenfold::testing
