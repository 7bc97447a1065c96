#pragma once

// Debian's Chromium started for one test: a private profile, no network, and its whole process
// group ended with the object (the test ends it on every way out; the desktop session ends
// whatever a crash left behind). The page is served from a file in the test's folder.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace wrenfold::testing {

class ChromiumApp {
 public:
  static constexpr const char* kProgram = "/usr/lib/chromium/chromium";
  [[nodiscard]] static bool installed();

  // `forceAccessibility` adds --force-renderer-accessibility; without it Chromium decides
  // itself whether to build its tree. ACCESSIBILITY_ENABLED is removed from its environment.
  ChromiumApp(const std::filesystem::path& folder, const std::filesystem::path& page,
              bool forceAccessibility);
  ~ChromiumApp();
  ChromiumApp(const ChromiumApp&) = delete;
  ChromiumApp& operator=(const ChromiumApp&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  [[nodiscard]] bool started() const { return pid_ > 0; }
  // The title of its window as the X server holds it (_NET_WM_NAME): the page's own witness,
  // which does not go through the accessibility bus. Absent before the window is mapped.
  [[nodiscard]] std::optional<std::string> windowTitle() const;

 private:
  pid_t pid_ = -1;
};

}  // namespace wrenfold::testing
