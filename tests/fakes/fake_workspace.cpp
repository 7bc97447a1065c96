#include "fakes/fake_workspace.h"

#include <algorithm>

namespace wrenfold::testing {

bool FakeWorkspace::activate(std::int32_t processID) {
  activations_.push_back(processID);
  const bool running = std::any_of(running_.begin(), running_.end(),
                                   [&](const RunningApplication& app) { return app.processID == processID; });
  if (!running || refused_.contains(processID)) {
    return false;
  }
  if (!ignoresActivation_) {
    frontmost_ = *std::find_if(running_.begin(), running_.end(),
                               [&](const RunningApplication& app) { return app.processID == processID; });
  }
  return true;
}

std::optional<RunningApplication> FakeWorkspace::topmostOtherApplication() {
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

void FakeWorkspace::addApplication(const RunningApplication& app, bool frontmost) {
  running_.push_back(app);
  if (frontmost) {
    frontmost_ = app;
  }
}

}  // namespace wrenfold::testing
