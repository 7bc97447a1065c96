#include "platform/linux/x11_pixels.h"

#include <gtest/gtest.h>

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
}

TEST(X11PixelsTest, PlacesAPartlyVisibleCaptureOnWhite) {
  const Image red{1, 1, {255, 0, 0, 255}};
  const auto canvas = placedOnWhite(red, 1, 0, 2, 1);
  EXPECT_EQ(canvas.rgba, (std::vector<std::uint8_t>{255, 255, 255, 255, 255, 0, 0, 255}));
  EXPECT_EQ(placedOnWhite(red, 5, 5, 1, 1).rgba, (std::vector<std::uint8_t>{255, 255, 255, 255}));
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
