#pragma once

// The workspace port over X11 and EWMH: the active window (_NET_ACTIVE_WINDOW), its process
// (XRes, else _NET_WM_PID), its application id and name (desktop files, Flatpak, WM_CLASS),
// and activation through the window manager. Main thread only.

#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "core/platform/workspace.h"
#include "platform/linux/application_identity.h"
#include "platform/linux/x11_connection.h"

namespace wrenfold {

class LinuxWorkspace final : public Workspace {
 public:
  // Opens its own connection to $DISPLAY; without one every answer is "none".
  LinuxWorkspace();
  explicit LinuxWorkspace(std::unique_ptr<X11Connection> connection);
  ~LinuxWorkspace() override;

  [[nodiscard]] std::optional<RunningApplication> frontmostApplication() override;
  [[nodiscard]] std::vector<RunningApplication> runningApplications() override;
  // The owner of the CLIPBOARD selection: its window's process and application.
  [[nodiscard]] std::optional<RunningApplication> clipboardOwner() override;
  [[nodiscard]] bool activate(std::int32_t processID) override;
  [[nodiscard]] bool activateWindow(std::uint64_t window) override;
  [[nodiscard]] std::int32_t ownProcessID() override;
  [[nodiscard]] std::optional<RunningApplication> topmostOtherApplication() override;

 private:
  [[nodiscard]] std::optional<Window> activeWindow();
  [[nodiscard]] std::optional<Window> focusedClientWindow();
  [[nodiscard]] std::optional<std::int32_t> processOf(Window window);
  // Panels, docks, the desktop and hidden (minimised) windows are not where the user writes.
  [[nodiscard]] bool isUserWindow(Window window);
  [[nodiscard]] RunningApplication describe(Window window, std::int32_t processID);
  // A _NET_ACTIVE_WINDOW request from a tool with a real server timestamp.
  [[nodiscard]] bool requestActivation(Window window);
  [[nodiscard]] const DesktopFileIndex& desktopFiles();

  std::unique_ptr<X11Connection> x_;
  std::optional<DesktopFileIndex> desktopFiles_;
  // What describe() found, by window and process: neither's facts change while both live, and a
  // window id or process id used again comes with the other one different.
  std::map<std::pair<Window, std::int32_t>, RunningApplication> described_;
  bool hasXRes_ = false;
};

}  // namespace wrenfold
