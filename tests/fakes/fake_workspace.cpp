#include "fakes/fake_workspace.h"

#include <algorithm>

namespace wrenfold::testing {

bool FakeWorkspace::activate(std::int32_t processID) {
  activations_.push_back(processID);
  const bool running = std::any_of(running_.begin(), running_.end(),
                                   [&](const RunningApplication& app) { return app.processID == processID; });
  return running && !refused_.contains(processID);
}

void FakeWorkspace::addApplication(const RunningApplication& app, bool frontmost) {
  running_.push_back(app);
  if (frontmost) {
    frontmost_ = app;
  }
}

}  // namespace wrenfold::testing
