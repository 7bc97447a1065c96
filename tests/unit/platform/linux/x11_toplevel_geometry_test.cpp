#include "platform/linux/x11_toplevel_geometry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace wrenfold {
namespace {

// Windows as GNOME Text Editor (GTK 4) and mousepad (GTK 3) showed them, measured under mutter
// and openbox: what the toolkit reported for its window, the X11 client and _GTK_FRAME_EXTENTS.
TEST(X11ToplevelGeometryTest, MapsWhatTheToolkitReportsToTheScreen) {
  struct Row {
    std::string name;
    Rect reported;
    Rect client;
    std::optional<ToplevelInsets> extents;
    ToplevelMapping expected;
  };
  const std::vector<Row> rows{
      {"GTK 4 with its shadow under mutter",
       {0, 0, 700, 520},
       {228, 112, 822, 642},
       ToplevelInsets{61, 55, 61, 67},
       {true, {289, 167}, 1}},
      // Its shadow is wide enough for the whole client's ratio to round to 3.
      {"GTK 4 scaled by 2 with its shadow",
       {0, 0, 480, 384},
       {38, -26, 1204, 1012},
       ToplevelInsets{122, 110, 122, 134},
       {true, {160, 84}, 2}},
      {"GTK 4 scaled by 2, maximized",
       {0, 0, 640, 512},
       {0, 0, 1280, 1024},
       ToplevelInsets{},
       {true, {0, 0}, 2}},
      {"GTK 4 without extents: an even border",
       {0, 0, 690, 510},
       {100, 50, 700, 520},
       std::nullopt,
       {true, {105, 55}, 1}},
      {"GTK 3 scaled by 2, on screen in logical pixels",
       {30, 40, 400, 300},
       {60, 80, 800, 600},
       std::nullopt,
       {false, {0, 0}, 2}},
      {"a dialog of the program, not a scale",
       {10, 10, 200, 600},
       {10, 10, 400, 600},
       std::nullopt,
       {false, {0, 0}, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ToplevelMapping mapping = toplevelMapping(row.reported, row.client, row.extents);
    EXPECT_EQ(mapping.windowRelative, row.expected.windowRelative);
    EXPECT_EQ(mapping.scale, row.expected.scale);
    EXPECT_EQ(mapping.origin.x, row.expected.origin.x);
    EXPECT_EQ(mapping.origin.y, row.expected.origin.y);
  }
}

}  // namespace
}  // namespace wrenfold
