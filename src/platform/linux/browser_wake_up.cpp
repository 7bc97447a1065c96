#include "platform/linux/browser_wake_up.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace wrenfold {
namespace {

using std::chrono::steady_clock;

// Top-level windows searched for a web page; a browser rarely has more.
constexpr int kMaxWindowsSearched = 16;
constexpr auto kAnnouncementPoll = std::chrono::milliseconds(100);

// Chromium and every Electron application ship their V8 snapshot and resource pack beside the
// executable; nothing else does.
bool runsWebRuntime(std::int32_t processID) {
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/" + std::to_string(processID) + "/exe", error);
  if (error) {
    return false;
  }
  const auto folder = executable.parent_path();
  return std::filesystem::exists(folder / "resources.pak", error) &&
         (std::filesystem::exists(folder / "v8_context_snapshot.bin", error) ||
          std::filesystem::exists(folder / "snapshot_blob.bin", error));
}

}  // namespace

bool BrowserWakeUp::isWebRuntime(std::int32_t processID) {
  auto [it, inserted] = webRuntimes_.try_emplace(processID, false);
  if (inserted) {
    it->second = runsWebRuntime(processID);
  }
  return it->second;
}

bool BrowserWakeUp::exposesPage(AtspiAccessible* application) {
  if (application == nullptr) {
    return false;
  }
  AtspiCalls& calls = session_.calls();
  const int count = std::min(calls.childCount(application).value_or(0), kMaxWindowsSearched);
  for (int i = 0; i < count; ++i) {
    const auto window = calls.child(application, i);
    bool supported = false;
    const auto page =
        window ? calls.firstWithRole(window.get(), ATSPI_ROLE_DOCUMENT_WEB, supported) : nullptr;
    if (page && calls.childCount(page.get()).value_or(0) > 0) {
      return true;
    }
  }
  return false;
}

GObjectPtr<AtspiAccessible> BrowserWakeUp::wake(std::int32_t processID,
                                                GObjectPtr<AtspiAccessible> application) {
  if (!isWebRuntime(processID) || exposesPage(application.get()) || !announcedTo_.insert(processID).second) {
    return application;
  }
  if (!status_.isScreenReaderAnnounced() && !status_.announceScreenReader()) {
    startupOnly_.insert(processID);
    return application;
  }
  const auto deadline = steady_clock::now() + wait_;
  while (steady_clock::now() < deadline) {
    std::this_thread::sleep_for(kAnnouncementPoll);
    auto fresh = reader_.application(processID);
    if (exposesPage(fresh.get())) {
      return fresh;
    }
  }
  startupOnly_.insert(processID);
  return application;
}

bool BrowserWakeUp::followedLate(std::int32_t processID) {
  if (!exposesPage(reader_.application(processID).get())) {
    return false;
  }
  startupOnly_.erase(processID);
  return true;
}

}  // namespace wrenfold
