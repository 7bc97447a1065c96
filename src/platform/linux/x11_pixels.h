#pragma once

// Pixel conversions for window captures: X server images to the core's RGBA, and resizing.
// Pure functions.

#include <cstdint>
#include <span>
#include <vector>

#include "core/platform/window_capture.h"
#include "core/records/image.h"

namespace wrenfold {

// An X image in memory: 32 bits per pixel, one 32-bit value per pixel in the byte order given,
// channels picked out by the masks (the usual 0xFF0000, 0xFF00, 0xFF). `hasAlpha` for depth-32
// windows, whose top byte is alpha; otherwise pixels are opaque.
struct XPixelFormat {
  std::uint32_t redMask = 0xFF0000;
  std::uint32_t greenMask = 0xFF00;
  std::uint32_t blueMask = 0xFF;
  bool hasAlpha = false;
  bool bigEndian = false;
};

// RGBA of a `width` x `height` image whose rows start every `bytesPerLine` bytes.
[[nodiscard]] Image imageFromXPixels(std::span<const std::uint8_t> data, int width, int height,
                                     int bytesPerLine, XPixelFormat format);

// `image` drawn at (x, y) onto an opaque white canvas of `width` x `height`; what falls outside
// is cut off.
[[nodiscard]] Image placedOnWhite(const Image& image, int x, int y, int width, int height);

// A rectangle in an image's pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// `image` with every pixel inside `rects` made opaque white; parts of a rectangle outside the
// image are ignored. Used to blank out what other windows painted over a captured one.
[[nodiscard]] Image whitenedOver(Image image, std::span<const PixelRect> rects);

// `image` at `size` (box-filtered when shrinking, nearest pixel when growing); the same image
// when the size already matches.
[[nodiscard]] Image resizedTo(const Image& image, PixelSize size);

}  // namespace wrenfold
