#include "platform/linux/x11_toplevel_geometry.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

// Rows from real programs on openbox: what the toolkit answered for its window and for the
// caret's character, where X11 has the client, and where the character is on screen (checked
// against a capture of the screen).
TEST(X11ToplevelGeometryTest, PlacesWhatToolkitsReportOnTheScreen) {
  struct Row {
    const char* name;
    Rect toolkitWindow;
    Rect client;
    std::optional<ToplevelInsets> frameExtents;
    Rect reported;
    Rect expected;
  };
  const Row rows[] = {
      {"GTK 4: window at (0, 0), positions within it, a 5-pixel border round it",
       {0, 0, 690, 510},
       {290, 252, 700, 520},
       std::nullopt,
       {12, 90, 9, 17},
       {307, 347, 9, 17}},
      {"GTK 4 with shadows announced in _GTK_FRAME_EXTENTS (left, top)",
       {0, 0, 690, 510},
       {290, 252, 760, 600},
       ToplevelInsets{30, 20},
       {12, 90, 9, 17},
       {332, 362, 9, 17}},
      {"GTK 4 at GDK_SCALE=2, maximised: logical pixels inside the border",
       {0, 0, 630, 502},
       {0, 0, 1280, 1024},
       std::nullopt,
       {12, 90, 9, 17},
       {34, 190, 18, 34}},
      {"GTK 3 at GDK_SCALE=2: logical pixels from the client's corner",
       {0, 0, 640, 493},
       {1, 20, 1278, 960},
       std::nullopt,
       {3, 79, 9, 18},
       {7, 178, 18, 36}},
      {"GTK 3 unscaled: on screen as reported (its frame counts the title bar)",
       {319, 259, 642, 505},
       {320, 279, 640, 480},
       std::nullopt,
       {323, 358, 9, 18},
       {323, 358, 9, 18}},
      {"Qt 5 (KWrite): on screen as reported",
       {240, 212, 800, 614},
       {240, 212, 800, 614},
       std::nullopt,
       {329, 288, 7, 17},
       {329, 288, 7, 17}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto mapping = toplevelMapping(row.toolkitWindow, row.client, row.frameExtents);
    const Rect screen = mapping.toScreen(row.reported);
    EXPECT_EQ(screen.x, row.expected.x);
    EXPECT_EQ(screen.y, row.expected.y);
    EXPECT_EQ(screen.width, row.expected.width);
    EXPECT_EQ(screen.height, row.expected.height);
  }
  // GTK 4 answers some window-coordinate queries with uninitialised memory.
  EXPECT_TRUE(fitsWindow({12, 90, 9, 17}, {690, 510}));
  EXPECT_FALSE(fitsWindow({159229280, 32766, 1236996929, 21959}, {690, 510}));
}

}  // namespace
}  // namespace wrenfold
