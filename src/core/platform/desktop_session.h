#pragma once

// What kind of desktop session Wrenfold runs in, decided once at start from the environment the
// session manager sets, and what that session offers each part of a cycle. The composition root
// chooses its adapters from it; the launch output and the settings say it to the user.

#include <string>
#include <string_view>
#include <vector>

namespace wrenfold {

enum class SessionKind { x11, wayland, none };

struct DesktopSession {
  SessionKind kind = SessionKind::none;
  // An X server answers on $DISPLAY: the session's own on X11, XWayland on Wayland.
  bool hasXServer = false;
  // The desktop's GlobalShortcuts portal answers: it binds the trigger on Wayland.
  bool hasGlobalShortcutsPortal = false;
  // The desktop's RemoteDesktop portal offers a keyboard: it pastes into programs on Wayland.
  bool hasRemoteDesktopPortal = false;

  bool operator==(const DesktopSession&) const = default;
};

// From $XDG_SESSION_TYPE, $WAYLAND_DISPLAY and $DISPLAY (empty when unset), and whether an X
// server answered. The declared type wins; without one a Wayland socket means Wayland.
[[nodiscard]] DesktopSession detectDesktopSession(std::string_view sessionType,
                                                  std::string_view waylandDisplay, std::string_view display,
                                                  bool xServerAnswers);

// One Chinese line per part of a cycle, saying how this session provides it (or that it does not).
[[nodiscard]] std::vector<std::string> describeSessionOffers(const DesktopSession& session);

}  // namespace wrenfold
