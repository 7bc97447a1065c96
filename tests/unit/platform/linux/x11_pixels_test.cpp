#include "platform/linux/x11_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace wrenfold {
namespace {

TEST(X11PixelsTest, ConvertsServerPixelsToRgbaHonouringStrideAndAlpha) {
  // Two pixels a row, little-endian BGRX, rows padded to 12 bytes.
  const std::vector<std::uint8_t> data = {0x30, 0x20, 0x10, 0x99, 0xFF, 0x00, 0x00, 0x80,
                                          0xEE, 0xEE, 0xEE, 0xEE, 0x00, 0xFF, 0x00, 0x00,
                                          0x00, 0x00, 0xFF, 0xFF, 0xEE, 0xEE, 0xEE, 0xEE};
  const auto opaque = imageFromXPixels(data, 2, 2, 12, {});
  EXPECT_EQ(opaque.rgba, (std::vector<std::uint8_t>{0x10, 0x20, 0x30, 255, 0, 0, 0xFF, 255,  //
                                                    0, 0xFF, 0, 255, 0xFF, 0, 0, 255}));
  const auto withAlpha = imageFromXPixels(data, 2, 2, 12, {.hasAlpha = true});
  EXPECT_EQ(withAlpha.rgba[3], 0x99);
  EXPECT_EQ(withAlpha.rgba[7], 0x80);
  EXPECT_TRUE(imageFromXPixels(data, 2, 3, 12, {}).rgba.empty()) << "buffer shorter than the geometry";

  // The same pixels stored big-endian go through the general conversion and must agree with
  // the fast one.
  auto swapped = data;
  for (std::size_t i = 0; i + 4 <= swapped.size(); i += 4) {
    std::reverse(swapped.begin() + static_cast<std::ptrdiff_t>(i),
                 swapped.begin() + static_cast<std::ptrdiff_t>(i + 4));
  }
  EXPECT_EQ(imageFromXPixels(swapped, 2, 2, 12, {.bigEndian = true}).rgba, opaque.rgba);
  EXPECT_EQ(imageFromXPixels(swapped, 2, 2, 12, {.hasAlpha = true, .bigEndian = true}).rgba, withAlpha.rgba);
}

TEST(X11PixelsTest, PlacesAPartlyVisibleCaptureOnWhite) {
  const Image red{1, 1, {255, 0, 0, 255}};
  const auto canvas = placedOnWhite(red, 1, 0, 2, 1);
  EXPECT_EQ(canvas.rgba, (std::vector<std::uint8_t>{255, 255, 255, 255, 255, 0, 0, 255}));
  EXPECT_EQ(placedOnWhite(red, 5, 5, 1, 1).rgba, (std::vector<std::uint8_t>{255, 255, 255, 255}));
  // Cut off on the left: a window partly beyond the screen's left edge.
  const Image redGreen{2, 1, {255, 0, 0, 255, 0, 255, 0, 255}};
  EXPECT_EQ(placedOnWhite(redGreen, -1, 0, 2, 1).rgba,
            (std::vector<std::uint8_t>{0, 255, 0, 255, 255, 255, 255, 255}));
}

TEST(X11PixelsTest, WhitensOnlyTheCoveredPixelsAndClipsRectanglesToTheImage) {
  const Image black{3, 2, std::vector<std::uint8_t>(3 * 2 * 4, 0)};
  const std::vector<PixelRect> covers{{2, -5, 10, 6}, {-1, 1, 2, 1}, {0, 0, 0, 9}};
  const auto result = whitenedOver(black, covers);
  const std::vector<std::uint8_t> white(4, 255);
  const std::vector<std::uint8_t> kept(4, 0);
  const auto pixel = [&](int x, int y) {
    const auto at = static_cast<std::ptrdiff_t>((y * 3 + x) * 4);
    return std::vector<std::uint8_t>(result.rgba.begin() + at, result.rgba.begin() + at + 4);
  };
  EXPECT_EQ(pixel(2, 0), white);
  EXPECT_EQ(pixel(0, 1), white);
  EXPECT_EQ(pixel(0, 0), kept) << "an empty rectangle covers nothing";
  EXPECT_EQ(pixel(1, 0), kept);
  EXPECT_EQ(pixel(1, 1), kept);
  EXPECT_EQ(pixel(2, 1), kept) << "the first rectangle ends above the second row";
}

TEST(X11PixelsTest, ResizesByAveragingWhenShrinking) {
  const Image stripes{2, 1, {0, 0, 0, 255, 200, 100, 50, 255}};
  EXPECT_EQ(resizedTo(stripes, {1, 1}).rgba, (std::vector<std::uint8_t>{100, 50, 25, 255}));
  const auto grown = resizedTo(stripes, {4, 2});
  EXPECT_EQ(grown.width, 4);
  EXPECT_EQ(grown.rgba.size(), 4u * 2u * 4u);
  EXPECT_EQ(grown.rgba[12], 200);  // last column comes from the second pixel
  EXPECT_EQ(resizedTo(stripes, {2, 1}), stripes);
  EXPECT_TRUE(resizedTo(stripes, {0, 1}).rgba.empty());
}

}  // namespace
}  // namespace wrenfold
