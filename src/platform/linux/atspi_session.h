#pragma once

// The libatspi side of the accessibility back-end: the bounded calls, the focus events, the
// read cache and the text and focus helpers built on them. libatspi ends the process when it
// is used without a reachable accessibility bus, so a session is opened only once the bus has
// answered. Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "core/platform/accessibility.h"
#include "platform/linux/accessibility_bus_status.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/atspi_focus_finder.h"
#include "platform/linux/atspi_read_cache.h"
#include "platform/linux/atspi_text_access.h"
#include "platform/linux/focus_tracker.h"

namespace wrenfold {

struct AtspiOptions {
  // An application that answers no AT-SPI call for this long is hung. Two seconds: a program
  // slowed by other work answers well within it, and the readers bound their own reads below
  // it, so only a frozen program is waited out.
  std::chrono::milliseconds hangTimeout{2000};
  std::chrono::milliseconds hungPause{3000};     // a hung application is skipped this long
  std::chrono::milliseconds writeTimeout{2500};  // a text write, which is not taken for a hang before
  int focusSearchLimit = 600;                    // elements a walk for the focused element visits
  int childrenLimit = 1000;                      // children listed per element
  // How long a browser told about a screen reader is given, once per process, to build its
  // tree before the trigger goes on without it.
  std::chrono::milliseconds announcementWait{1000};
  // Whether toolkits report positions on the screen: under Wayland they know them only within
  // their own window.
  bool screenCoordinates = true;
};

class AtspiSession {
 public:
  explicit AtspiSession(const AtspiOptions& options);
  AtspiSession(const AtspiSession&) = delete;
  AtspiSession& operator=(const AtspiSession&) = delete;

  [[nodiscard]] AtspiCalls& calls() { return calls_; }
  [[nodiscard]] AtspiReadCache& cache() { return cache_; }
  [[nodiscard]] AtspiTextAccess& text() { return text_; }
  [[nodiscard]] AtspiFocusFinder& focus() { return focus_; }
  [[nodiscard]] int childrenLimit() const { return childrenLimit_; }

  // What the read cache holds for `object`; null when nothing, or while its application is
  // left alone after a time-out (a paused application reads absent throughout).
  [[nodiscard]] AtspiReadCache::Entry* known(AtspiAccessible* object);
  // The children, listed at most up to the limit; absent when the count cannot be read.
  [[nodiscard]] std::optional<std::vector<AccessibilityElement>> children(AtspiAccessible* object);

 private:
  AtspiCalls calls_;
  FocusTracker tracker_;
  AtspiReadCache cache_;
  AtspiTextAccess text_;
  AtspiFocusFinder focus_;
  int childrenLimit_;
};

// Opens the session the first time the accessibility bus answers; a bus that did not answer
// is asked again after a pause, not on every call.
class AtspiConnector {
 public:
  explicit AtspiConnector(const AtspiOptions& options) : options_(options) {}

  // The session; null while the bus does not answer.
  [[nodiscard]] AtspiSession* session();
  [[nodiscard]] const AccessibilityBusStatus& status() const { return status_; }
  // Switches accessibility on and opens the session at once; false when the bus refused.
  [[nodiscard]] bool enable();

 private:
  AtspiOptions options_;
  AccessibilityBusStatus status_;
  std::unique_ptr<AtspiSession> session_;
  std::chrono::steady_clock::time_point nextConnect_{};
};

}  // namespace wrenfold
