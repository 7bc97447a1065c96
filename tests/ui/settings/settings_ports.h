#pragma once

// What a settings window under test runs on: a temporary data folder, a logger that keeps
// nothing, and in-memory ports whose worker and main queue run only when told to.

#include <deque>
#include <memory>
#include <vector>

#include "core/support/app_logger.h"
#include "core/support/app_paths.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_input_method.h"
#include "fakes/fake_window_capture.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "fakes/recording_desktop_services.h"
#include "support/temp_dir.h"
#include "ui/settings/settings_view.h"

namespace wrenfold::testing {

// Answers requests in order from `answers` (a refused connection when none is left) through
// the main queue, and keeps what was sent.
class ScriptedHttpClient final : public HttpClient {
 public:
  explicit ScriptedHttpClient(MainQueue& queue) : queue_(queue) {}
  void send(HttpRequest request, Completion completion) override {
    sent.push_back(std::move(request));
    Result<HttpResponse> answer = failPlatform("无法连接到服务器。");
    if (!answers.empty()) {
      answer = std::move(answers.front());
      answers.pop_front();
    }
    queue_.post([completion = std::move(completion), answer = std::move(answer)] { completion(answer); });
  }

  std::vector<HttpRequest> sent;
  std::deque<Result<HttpResponse>> answers;

 private:
  MainQueue& queue_;
};

struct SettingsPorts {
  [[nodiscard]] SettingsContext context(ModelConfigStore& configs, StyleMemoryStore& memory,
                                        LaunchAtLogin* launchAtLogin = nullptr) {
    return {configs,       memory,    paths,     desktop,       accessibility,
            windowCapture, workQueue, mainQueue, launchAtLogin, &http,
            &clock,        nullptr,   {},        &inputMethod};
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
  FakeInputMethod inputMethod;
  ManualWorkQueue workQueue;
  ManualClock clock;
  ManualMainQueue mainQueue{clock};
  ScriptedHttpClient http{mainQueue};
};

}  // namespace wrenfold::testing
