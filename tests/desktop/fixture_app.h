#pragma once

// A fixture application started for one test and ended with it.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace wrenfold::testing {

class FixtureApp {
 public:
  // Starts `program` with `arguments` plus "--report <file>"; the file lives in `reportDir`.
  // `environment` entries ("NAME=value") are added to this process's environment.
  FixtureApp(const std::string& program, std::vector<std::string> arguments,
             const std::filesystem::path& reportDir, const std::vector<std::string>& environment = {});
  ~FixtureApp();
  FixtureApp(const FixtureApp&) = delete;
  FixtureApp& operator=(const FixtureApp&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  [[nodiscard]] bool started() const { return pid_ > 0; }
  // The field's text as the application itself last reported it; absent before its first report.
  [[nodiscard]] std::optional<std::string> report() const;
  // Waits until the report equals `text`; the last report seen otherwise.
  [[nodiscard]] std::optional<std::string> waitForReport(const std::string& text,
                                                         std::chrono::milliseconds timeout) const;
  // Freezes and thaws the process, as a hung application.
  void pause() const;
  void resume() const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path reportPath_;
};

// Polls `condition` until it holds or `timeout` passes, running the default GLib main
// context in between so AT-SPI events reach their listeners.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Runs pending GLib events without waiting.
void pumpEvents();

}  // namespace wrenfold::testing
