#pragma once

// The workspace port from the accessibility bus alone, for sessions where the X server (if any)
// does not see other programs' windows: Wayland. The frontmost application is the one whose
// window is in state ACTIVE (toolkits set it from the compositor's "activated" state); its
// process id comes from its bus connection (libatspi asks the bus daemon,
// org.freedesktop.DBus.GetConnectionUnixProcessID). Wayland lets no client raise another
// client's window or learn who owns the clipboard, so those answers are "none". Main thread only.

#include <atspi/atspi.h>

#include <memory>
#include <optional>

#include "core/platform/accessibility.h"
#include "core/platform/workspace.h"
#include "platform/linux/application_identity.h"
#include "platform/linux/atspi_calls.h"

namespace wrenfold {

class AtspiWorkspace final : public Workspace {
 public:
  AtspiWorkspace();
  ~AtspiWorkspace() override;

  // The accessibility port connects libatspi to the bus: it is asked first, so no read here
  // happens without a bus. It is given after construction because it names running
  // applications through this workspace; it outlives this object.
  void useAccessibility(Accessibility& accessibility) { accessibility_ = &accessibility; }

  [[nodiscard]] std::optional<RunningApplication> frontmostApplication() override;
  [[nodiscard]] std::vector<RunningApplication> runningApplications() override;
  [[nodiscard]] std::optional<RunningApplication> clipboardOwner() override { return std::nullopt; }
  [[nodiscard]] std::int32_t ownProcessID() override;
  // The other application whose window was activated last, while it is still on the bus.
  [[nodiscard]] std::optional<RunningApplication> topmostOtherApplication() override;
  // No Wayland client may activate another's window. Where keys reach the target (through the
  // desktop's RemoteDesktop portal) the compositor gives the focus back to the window the user
  // came from once the panel closes, and the paste waits for that; elsewhere nothing is pasted.
  [[nodiscard]] bool activate(std::int32_t) override { return focusReturnsForKeys_; }
  // The same: the focus comes back to the window the user was in, which the paste then checks.
  [[nodiscard]] bool activateWindow(std::uint64_t window) override;
  void setKeysReachPrograms(bool reach) { focusReturnsForKeys_ = reach; }

 private:
  struct Bus;
  // The libatspi side, set up once the accessibility port has a bus; null before.
  [[nodiscard]] Bus* bus();
  [[nodiscard]] RunningApplication describe(std::int32_t processID);

  Accessibility* accessibility_ = nullptr;
  std::unique_ptr<Bus> bus_;
  std::optional<DesktopFileIndex> desktopFiles_;
  bool focusReturnsForKeys_ = false;
};

}  // namespace wrenfold
