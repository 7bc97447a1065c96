#include "platform/linux/atspi_workspace.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/linux/atspi_handle.h"
#include "platform/linux/process_toolkit.h"

namespace wrenfold {
namespace {

// Bounds a broken registry; a desktop lists far fewer.
constexpr int kMaxApplications = 512;
constexpr int kMaxWindows = 64;
constexpr std::size_t kMaxNamedWindows = 256;

}  // namespace

struct AtspiWorkspace::Bus {
  Bus() : calls(AtspiCalls::Limits{}) {
    listener.reset(atspi_event_listener_new(&Bus::onActivate, this, nullptr));
    static_cast<void>(atspi_event_listener_register(listener.get(), "window:activate", nullptr));
  }
  ~Bus() { static_cast<void>(atspi_event_listener_deregister(listener.get(), "window:activate", nullptr)); }
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Remembers the last window of another process that was activated: once our panel is in
  // front, that is the program the user came from.
  static void onActivate(AtspiEvent* event, void* self) {
    static_cast<Bus*>(self)->remember(event->source);
    g_boxed_free(atspi_event_get_type(), event);  // the callback owns the event
  }

  void remember(AtspiAccessible* source) {
    if (source == nullptr) {
      return;
    }
    const auto pid = calls.processID(source);
    if (pid && *pid != ::getpid()) {
      lastOtherActivated = retained(source);
    }
  }

  // Calls `visit(application, pid)` for each application on the desktop with a process id
  // until it returns true.
  template <class Visit>
  void forEachApplication(Visit visit) {
    const auto desktop = calls.desktop();
    const int count = std::min(calls.childCount(desktop.get()).value_or(0), kMaxApplications);
    for (int i = 0; i < count; ++i) {
      const auto app = calls.child(desktop.get(), i);
      const auto pid = app ? calls.processID(app.get()) : std::nullopt;
      if (pid && visit(app.get(), *pid)) {
        return;
      }
    }
  }

  // The application's active window, named as `windowID` names it.
  [[nodiscard]] std::optional<std::uint64_t> activeWindow(AtspiAccessible* application) {
    const int count = std::min(calls.childCount(application).value_or(0), kMaxWindows);
    for (int i = 0; i < count; ++i) {
      const auto window = calls.child(application, i);
      if (isActive(window.get())) {
        return windowID(window.get());
      }
    }
    return std::nullopt;
  }

  // libatspi keeps one object per element while it is referenced, so its address names the
  // window as long as it is held here; the few windows named in a session stay held.
  [[nodiscard]] std::uint64_t windowID(AtspiAccessible* window) {
    const bool held = std::any_of(namedWindows.begin(), namedWindows.end(),
                                  [window](const auto& each) { return each.get() == window; });
    if (!held) {
      if (namedWindows.size() >= kMaxNamedWindows) {
        namedWindows.erase(namedWindows.begin());
      }
      namedWindows.push_back(retained(window));
    }
    return reinterpret_cast<std::uintptr_t>(window);
  }

  [[nodiscard]] bool isActive(AtspiAccessible* window) {
    const auto states = window ? calls.states(window) : std::nullopt;
    return states && states->has(ATSPI_STATE_ACTIVE) && !states->has(ATSPI_STATE_DEFUNCT);
  }

  AtspiCalls calls;
  GObjectPtr<AtspiEventListener> listener;
  GObjectPtr<AtspiAccessible> lastOtherActivated;
  std::vector<GObjectPtr<AtspiAccessible>> namedWindows;
};

AtspiWorkspace::AtspiWorkspace() = default;

AtspiWorkspace::~AtspiWorkspace() = default;

AtspiWorkspace::Bus* AtspiWorkspace::bus() {
  if (!bus_ && accessibility_ != nullptr && accessibility_->isProcessTrusted()) {
    bus_ = std::make_unique<Bus>();
  }
  return bus_.get();
}

RunningApplication AtspiWorkspace::describe(std::int32_t processID) {
  if (!desktopFiles_) {
    desktopFiles_ =
        DesktopFileIndex::load(DesktopFileIndex::standardDataDirs(), DesktopFileIndex::messagesLocale());
  }
  const auto identity = identifyApplication(processFacts(processID), *desktopFiles_);
  return RunningApplication{processID, identity.id, identity.name};
}

std::optional<RunningApplication> AtspiWorkspace::frontmostApplication() {
  auto* bus = this->bus();
  if (bus == nullptr) {
    return std::nullopt;
  }
  std::optional<std::int32_t> front;
  std::optional<std::uint64_t> window;
  bus->forEachApplication([&](AtspiAccessible* application, std::int32_t pid) {
    window = bus->activeWindow(application);
    if (window) {
      front = pid;
    }
    return front.has_value();
  });
  if (!front) {
    return std::nullopt;
  }
  auto app = describe(*front);
  app.window = window;
  return app;
}

std::vector<RunningApplication> AtspiWorkspace::runningApplications() {
  std::vector<RunningApplication> applications;
  auto* bus = this->bus();
  if (bus == nullptr) {
    return applications;
  }
  bus->forEachApplication([&](AtspiAccessible* application, std::int32_t pid) {
    const bool listed = std::any_of(applications.begin(), applications.end(),
                                    [pid](const RunningApplication& app) { return app.processID == pid; });
    if (!listed && bus->calls.childCount(application).value_or(0) > 0) {
      applications.push_back(describe(pid));
    }
    return false;
  });
  return applications;
}

std::int32_t AtspiWorkspace::ownProcessID() {
  return static_cast<std::int32_t>(::getpid());
}

std::optional<RunningApplication> AtspiWorkspace::topmostOtherApplication() {
  auto* bus = this->bus();
  if (bus == nullptr || !bus->lastOtherActivated) {
    return std::nullopt;
  }
  const auto pid = bus->calls.processID(bus->lastOtherActivated.get());
  if (!pid) {
    return std::nullopt;
  }
  auto app = describe(*pid);
  app.window = bus->windowID(bus->lastOtherActivated.get());
  return app;
}

bool AtspiWorkspace::activateWindow(std::uint64_t /*window*/) {
  return focusReturnsForKeys_;
}

}  // namespace wrenfold
