#pragma once

// Programs started for one test and ended with it: any program, and the fixture applications.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace wrenfold::testing {

// A program started for the test, its standard output and error captured to a file; ended
// (SIGTERM, then SIGKILL) with the object unless it ended before.
class Process {
 public:
  // `environment` entries ("NAME=value") override this process's environment. With `ownGroup`
  // it leads a process group of its own, which is ended with it (a browser's helpers).
  Process(std::vector<std::string> argv, const std::vector<std::string>& environment = {},
          bool ownGroup = false);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  [[nodiscard]] bool started() const { return pid_ > 0; }
  // Its exit status (128 + signal when killed); absent while it still runs after `timeout`.
  [[nodiscard]] std::optional<int> wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // Everything it wrote to standard output and error so far.
  [[nodiscard]] std::string output() const;
  void terminate();

 private:
  pid_t pid_ = -1;
  bool ownGroup_ = false;
  std::optional<int> status_;
  TempDir outputDir_;
};

struct Exit {
  int status = -1;  // -1 when it did not end in time (it is killed then)
  std::string output;
};

// Runs a program to its end.
[[nodiscard]] Exit run(std::vector<std::string> argv, const std::vector<std::string>& environment = {});
// xdotool with these arguments; true when it succeeded.
[[nodiscard]] bool xdotool(const std::vector<std::string>& arguments);
// The active window as xdotool prints it.
[[nodiscard]] std::optional<std::string> activeWindow();

// Debian's Chromium showing `url` with a private profile in `folder`, and no way to the network:
// every host is unknown and every proxy a closed port. Without `forceAccessibility` it decides
// itself whether to build its accessibility tree.
inline constexpr const char* kChromium = "/usr/lib/chromium/chromium";
[[nodiscard]] std::unique_ptr<Process> startChromium(const std::filesystem::path& folder,
                                                     const std::string& url, bool forceAccessibility,
                                                     std::vector<std::string> environment = {});

// A fixture application that reports its field's text to a file.
class FixtureApp {
 public:
  // Starts `program` with `arguments` plus "--report <file>"; the file lives in `reportDir`.
  FixtureApp(const std::string& program, std::vector<std::string> arguments,
             const std::filesystem::path& reportDir, const std::vector<std::string>& environment = {});

  [[nodiscard]] pid_t pid() const { return process_->pid(); }
  [[nodiscard]] bool started() const { return process_->started(); }
  // The field's text as the application itself last reported it; absent before its first report.
  [[nodiscard]] std::optional<std::string> report() const;
  // Waits until the report equals `text`; the last report seen otherwise.
  [[nodiscard]] std::optional<std::string> waitForReport(const std::string& text,
                                                         std::chrono::milliseconds timeout) const;
  // Freezes and thaws the process, as a hung application.
  void pause() const;
  void resume() const;

 private:
  std::filesystem::path reportPath_;
  std::unique_ptr<Process> process_;
};

// Polls `condition` until it holds or `timeout` passes, running the default GLib main
// context in between so AT-SPI events reach their listeners.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Runs pending GLib events without waiting.
void pumpEvents();

}  // namespace wrenfold::testing
