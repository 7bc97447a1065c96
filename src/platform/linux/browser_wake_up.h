#pragma once

// Browsers and Electron applications build their accessibility tree only for a screen reader.
// When one is read and shows no page, a screen reader is announced on the bus and the browser
// is given, once per process, a moment to build its tree; browsers that decide only at
// start-up are remembered, so the user can be told to restart them. Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <set>

#include "platform/linux/accessibility_bus_status.h"
#include "platform/linux/atspi_element_reader.h"
#include "platform/linux/atspi_session.h"

namespace wrenfold {

class BrowserWakeUp {
 public:
  BrowserWakeUp(AtspiSession& session, AtspiElementReader& reader, const AccessibilityBusStatus& status,
                std::chrono::milliseconds wait)
      : session_(session), reader_(reader), status_(status), wait_(wait) {}

  // Whether the process runs Chromium or Electron (asked once per process).
  [[nodiscard]] bool isWebRuntime(std::int32_t processID);
  // Whether a browser's window holds a web page with content. With accessibility off,
  // Chromium lists its windows but each one's only child is a null object.
  [[nodiscard]] bool exposesPage(AtspiAccessible* application);
  // The application of a web runtime, woken up when it shows no page yet.
  [[nodiscard]] GObjectPtr<AtspiAccessible> wake(std::int32_t processID,
                                                 GObjectPtr<AtspiAccessible> application);
  // Whether the browser ignored the announcement (it decides only at start-up).
  [[nodiscard]] bool ignoredAnnouncement(std::int32_t processID) const {
    return startupOnly_.contains(processID);
  }
  // Whether a browser that ignored the announcement shows a page now: it was only slow, and is
  // no longer counted as ignoring it.
  [[nodiscard]] bool followedLate(std::int32_t processID);

 private:
  AtspiSession& session_;
  AtspiElementReader& reader_;
  const AccessibilityBusStatus& status_;
  std::chrono::milliseconds wait_;
  std::map<std::int32_t, bool> webRuntimes_;
  std::set<std::int32_t> announcedTo_;
  std::set<std::int32_t> startupOnly_;  // browsers that ignored the announcement
};

}  // namespace wrenfold
