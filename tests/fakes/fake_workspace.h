#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "core/platform/workspace.h"

namespace wrenfold::testing {

// Running applications as a list the test writes, the last added on top; activation succeeds
// unless refused and brings the application to the front.
class FakeWorkspace final : public Workspace {
 public:
  [[nodiscard]] std::optional<RunningApplication> frontmostApplication() override { return frontmost_; }
  [[nodiscard]] std::vector<RunningApplication> runningApplications() override { return running_; }
  [[nodiscard]] std::optional<RunningApplication> clipboardOwner() override { return clipboardOwner_; }
  [[nodiscard]] bool activate(std::int32_t processID) override {
    activations_.push_back(processID);
    const auto app = std::find_if(running_.begin(), running_.end(), [&](const RunningApplication& each) {
      return each.processID == processID;
    });
    if (app == running_.end() || refused_.contains(processID)) {
      return false;
    }
    if (!ignoresActivation_) {
      frontmost_ = *app;
    }
    return true;
  }
  // Brings that window's application to the front with that window active.
  [[nodiscard]] bool activateWindow(std::uint64_t window) override {
    windowActivations_.push_back(window);
    const auto app = std::ranges::find(running_, std::optional(window), &RunningApplication::window);
    frontmost_ = app != running_.end() ? std::optional(*app) : frontmost_;
    return app != running_.end();
  }
  [[nodiscard]] std::int32_t ownProcessID() override { return ownProcessID_; }
  [[nodiscard]] std::optional<RunningApplication> topmostOtherApplication() override {
    if (frontmost_ && frontmost_->processID != ownProcessID_) {
      return frontmost_;
    }
    for (auto it = running_.rbegin(); it != running_.rend(); ++it) {
      if (it->processID != ownProcessID_) {
        return *it;
      }
    }
    return std::nullopt;
  }

  // --- test interface
  // Adds a running application; with `frontmost` it also becomes the frontmost one.
  void addApplication(const RunningApplication& app, bool frontmost = false) {
    running_.push_back(app);
    if (frontmost) {
      frontmost_ = app;
    }
  }
  void setFrontmost(std::optional<RunningApplication> app) { frontmost_ = std::move(app); }
  void setClipboardOwner(std::optional<RunningApplication> app) { clipboardOwner_ = std::move(app); }
  void refuseActivation(std::int32_t processID) { refused_.insert(processID); }
  // A window manager that takes the request but never activates the window.
  void ignoreActivation() { ignoresActivation_ = true; }
  void setOwnProcessID(std::int32_t processID) { ownProcessID_ = processID; }
  // Process ids activated, in order (refused requests included).
  [[nodiscard]] const std::vector<std::int32_t>& activations() const { return activations_; }
  [[nodiscard]] const std::vector<std::uint64_t>& windowActivations() const { return windowActivations_; }

 private:
  std::optional<RunningApplication> frontmost_;
  std::optional<RunningApplication> clipboardOwner_;
  std::vector<RunningApplication> running_;
  std::set<std::int32_t> refused_;
  std::vector<std::int32_t> activations_;
  std::vector<std::uint64_t> windowActivations_;
  std::int32_t ownProcessID_ = 0;
  bool ignoresActivation_ = false;
};

}  // namespace wrenfold::testing
