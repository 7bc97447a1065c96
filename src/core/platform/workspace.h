#pragma once

// The workspace port: which applications run and which one is in front. Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wrenfold {

struct RunningApplication {
  std::int32_t processID = 0;
  // The application id ("bundle identifier"): desktop-file or Flatpak id, else WM_CLASS,
  // else the executable name; absent when none is known.
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  // The window the application was found by (the active one, the topmost one), as the window
  // system names it; absent where none can be told.
  std::optional<std::uint64_t> window = std::nullopt;
  bool operator==(const RunningApplication&) const = default;
};

class Workspace {
 public:
  Workspace() = default;
  virtual ~Workspace() = default;
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  // The application that owns the active window; absent when none can be determined.
  [[nodiscard]] virtual std::optional<RunningApplication> frontmostApplication() = 0;
  // Applications with at least one window, in the system's order; empty on failure.
  [[nodiscard]] virtual std::vector<RunningApplication> runningApplications() = 0;
  // The application that owns the clipboard's current content; absent when there is none or
  // it cannot be told.
  [[nodiscard]] virtual std::optional<RunningApplication> clipboardOwner() = 0;
  // This process's own id: its windows (the overlay, the settings) are never a target.
  [[nodiscard]] virtual std::int32_t ownProcessID() = 0;
  // The application of the topmost window that is not this process's: the program the user
  // was in before one of our windows came to the front. Absent when there is none.
  [[nodiscard]] virtual std::optional<RunningApplication> topmostOtherApplication() = 0;
  // Asks for the application's window to become active; false when the request could not be
  // made (no such process, no window). Does not wait for the window manager.
  [[nodiscard]] virtual bool activate(std::int32_t processID) = 0;
  // Asks for that one window to become active (another window of the same program may be in
  // front); false when it cannot be asked for, or is gone.
  [[nodiscard]] virtual bool activateWindow(std::uint64_t /*window*/) { return false; }
};

}  // namespace wrenfold
