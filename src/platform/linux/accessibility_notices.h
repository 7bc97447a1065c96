#pragma once

// What the user is told about applications whose text the back-end cannot read: one that shows
// no interface (it started before accessibility was on, or decides only at start-up), and,
// once accessibility has just been switched on, the running applications to restart.
// Main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/platform/workspace.h"
#include "platform/linux/atspi_element_reader.h"
#include "platform/linux/browser_wake_up.h"

namespace wrenfold {

class AccessibilityNotices {
 public:
  explicit AccessibilityNotices(std::shared_ptr<Workspace> workspace) : workspace_(std::move(workspace)) {}

  // Accessibility was just switched on: the next restart notice looks at running applications.
  void expectRestarts() { restartCheckPending_ = true; }
  [[nodiscard]] bool expectsRestarts() const { return restartCheckPending_; }
  [[nodiscard]] bool told(std::int32_t processID) const { return noticed_.contains(processID); }

  // The notice for one process, told once; absent when its interface can be read.
  [[nodiscard]] std::optional<std::string> applicationNotice(std::int32_t processID,
                                                             AtspiElementReader& reader,
                                                             BrowserWakeUp& browsers);
  // The applications to restart, told once after accessibility was switched on.
  [[nodiscard]] std::optional<std::string> restartNotice(AtspiElementReader& reader, BrowserWakeUp& browsers);

 private:
  std::shared_ptr<Workspace> workspace_;
  std::set<std::int32_t> noticed_;
  bool restartCheckPending_ = false;
};

}  // namespace wrenfold
