#include "platform/linux/atspi_workspace.h"

#include <unistd.h>

#include <algorithm>

#include "platform/linux/atspi_handle.h"
#include "platform/linux/process_toolkit.h"

namespace wrenfold {
namespace {

// Bounds a broken registry; a desktop lists far fewer.
constexpr int kMaxApplications = 512;
constexpr int kMaxWindows = 64;

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

  [[nodiscard]] bool hasActiveWindow(AtspiAccessible* application) {
    const int count = std::min(calls.childCount(application).value_or(0), kMaxWindows);
    for (int i = 0; i < count; ++i) {
      const auto window = calls.child(application, i);
      if (isActive(window.get())) {
        return true;
      }
    }
    return false;
  }

  [[nodiscard]] bool isActive(AtspiAccessible* window) {
    const auto states = window ? calls.states(window) : std::nullopt;
    return states && states->has(ATSPI_STATE_ACTIVE) && !states->has(ATSPI_STATE_DEFUNCT);
  }

  AtspiCalls calls;
  GObjectPtr<AtspiEventListener> listener;
  GObjectPtr<AtspiAccessible> lastOtherActivated;
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
  bus->forEachApplication([&](AtspiAccessible* application, std::int32_t pid) {
    if (bus->hasActiveWindow(application)) {
      front = pid;
    }
    return front.has_value();
  });
  if (!front) {
    return std::nullopt;
  }
  return describe(*front);
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
  return describe(*pid);
}

}  // namespace wrenfold
