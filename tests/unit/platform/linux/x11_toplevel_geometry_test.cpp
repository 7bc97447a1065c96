#include "platform/linux/x11_toplevel_geometry.h"

#include <gtest/gtest.h>

#include <optional>

namespace wrenfold {
namespace {

// Windows as GNOME Text Editor (GTK 4) and mousepad (GTK 3) showed them under mutter and openbox:
// what the toolkit reported for its window, the X11 client, _GTK_FRAME_EXTENTS, and where its
// window coordinates start on the screen at which scale.
TEST(X11ToplevelGeometryTest, MapsWhatTheToolkitReportsToTheScreen) {
  const auto expect = [](Rect reported, Rect client, std::optional<ToplevelInsets> extents, bool relative,
                         Point origin, double scale) {
    const ToplevelMapping mapping = toplevelMapping(reported, client, extents);
    EXPECT_EQ(mapping.windowRelative, relative);
    EXPECT_EQ(mapping.origin.x, origin.x);
    EXPECT_EQ(mapping.origin.y, origin.y);
    EXPECT_EQ(mapping.scale, scale);
  };
  expect({0, 0, 700, 520}, {228, 112, 822, 642}, ToplevelInsets{61, 55, 61, 67}, true, {289, 167}, 1);
  // Scaled by 2: the shadow alone tips the whole client's ratio to 3.
  expect({0, 0, 480, 384}, {38, -26, 1204, 1012}, ToplevelInsets{122, 110, 122, 134}, true, {160, 84}, 2);
  expect({0, 0, 640, 512}, {0, 0, 1280, 1024}, ToplevelInsets{}, true, {0, 0}, 2);  // maximized
  expect({0, 0, 690, 510}, {100, 50, 700, 520}, std::nullopt, true, {105, 55}, 1);  // an even border
  expect({30, 40, 400, 300}, {60, 80, 800, 600}, std::nullopt, false, {0, 0}, 2);   // GTK 3 on screen
  expect({10, 10, 200, 600}, {10, 10, 400, 600}, std::nullopt, false, {0, 0}, 1);   // a dialog, not a scale
}

}  // namespace
}  // namespace wrenfold
