#include "core/platform/desktop_session.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

TEST(DesktopSession, TheDeclaredTypeWinsThenTheWaylandSocketThenAnAnsweringDisplay) {
  // A Wayland login with XWayland: X11 is there, but sees none of the native programs.
  const auto wayland = detectDesktopSession("wayland", "wayland-0", ":0", true);
  EXPECT_EQ(wayland, (DesktopSession{SessionKind::wayland, true}));
  // An X11 login that also has a nested compositor's socket lying around.
  EXPECT_EQ(detectDesktopSession("x11", "wayland-1", ":1", true), (DesktopSession{SessionKind::x11, true}));
  // No declared type (a compositor started by hand, or "tty"): the sockets tell.
  EXPECT_EQ(detectDesktopSession("tty", "wayland-0", "", false),
            (DesktopSession{SessionKind::wayland, false}));
  EXPECT_EQ(detectDesktopSession("", "", ":0", true).kind, SessionKind::x11);
  // A DISPLAY left over from an ended desktop is no X server.
  EXPECT_EQ(detectDesktopSession("", "", ":0", false), (DesktopSession{SessionKind::none, false}));
  EXPECT_EQ(detectDesktopSession("x11", "", ":0", false), (DesktopSession{SessionKind::x11, false}));
}

}  // namespace
}  // namespace wrenfold
