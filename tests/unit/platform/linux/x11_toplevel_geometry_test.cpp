#include "platform/linux/x11_toplevel_geometry.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

// GNOME Text Editor on openbox: its window reported at (0, 0), 690 x 510, in a 700 x 520 client at
// (290, 252); the caret's character at (12, 90) in its window was seen at (307, 347) on screen.
TEST(X11ToplevelGeometryTest, PlacesWindowPositionsOfGtk4OnTheScreen) {
  const Rect gtk4{0, 0, 690, 510};
  const Rect caret{12, 90, 9, 17};
  EXPECT_EQ(toplevelMapping(gtk4, {290, 252, 700, 520}, std::nullopt).toScreen(caret),
            (Rect{307, 347, 9, 17}));
  // Shadows announced (left 30, top 20) count instead of the even share.
  EXPECT_EQ(toplevelMapping(gtk4, {290, 252, 760, 600}, ToplevelInsets{30, 20}).toScreen(caret),
            (Rect{332, 362, 9, 17}));
  // GDK_SCALE=2, maximised: logical pixels inside a border of 10 device pixels.
  EXPECT_EQ(toplevelMapping({0, 0, 630, 502}, {0, 0, 1280, 1024}, std::nullopt).toScreen(caret),
            (Rect{34, 190, 18, 34}));
  // GTK 4 answers some window queries with uninitialised memory.
  EXPECT_FALSE(fitsWindow({159229280, 32766, 1236996929, 21959}, {690, 510}));
}

}  // namespace
}  // namespace wrenfold
