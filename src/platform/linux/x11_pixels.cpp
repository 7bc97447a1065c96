#include "platform/linux/x11_pixels.h"

#include <algorithm>
#include <array>
#include <bit>

namespace wrenfold {
namespace {

// The 8-bit value of the channel under `mask`.
std::uint8_t channel(std::uint32_t pixel, std::uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  const auto shift = static_cast<unsigned>(std::countr_zero(mask));
  const std::uint32_t value = (pixel & mask) >> shift;
  const std::uint32_t maximum = mask >> shift;
  return static_cast<std::uint8_t>(value * 255U / maximum);
}

std::uint32_t readPixel(const std::uint8_t* p, bool bigEndian) {
  const auto b0 = static_cast<std::uint32_t>(p[0]);
  const auto b1 = static_cast<std::uint32_t>(p[1]);
  const auto b2 = static_cast<std::uint32_t>(p[2]);
  const auto b3 = static_cast<std::uint32_t>(p[3]);
  return bigEndian ? (b0 << 24U | b1 << 16U | b2 << 8U | b3) : (b3 << 24U | b2 << 16U | b1 << 8U | b0);
}

std::size_t pixelCount(int width, int height) {
  return static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
}

}  // namespace

Image imageFromXPixels(std::span<const std::uint8_t> data, int width, int height, int bytesPerLine,
                       XPixelFormat format) {
  Image image{width, height, std::vector<std::uint8_t>(pixelCount(width, height) * 4)};
  const auto stride = static_cast<std::size_t>(bytesPerLine);
  if (stride < static_cast<std::size_t>(std::max(width, 0)) * 4 ||
      data.size() < stride * pixelCount(1, height)) {
    return Image{};  // a buffer too small for the geometry: nothing trustworthy to convert
  }
  auto* out = image.rgba.data();
  // The usual little-endian xRGB: bytes B, G, R, x per pixel, moved without any arithmetic.
  if (!format.bigEndian && format.redMask == 0xFF0000 && format.greenMask == 0xFF00 &&
      format.blueMask == 0xFF) {
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = data.data() + static_cast<std::size_t>(y) * stride;
      for (int x = 0; x < width; ++x, in += 4) {
        *out++ = in[2];
        *out++ = in[1];
        *out++ = in[0];
        *out++ = format.hasAlpha ? in[3] : std::uint8_t{255};
      }
    }
    return image;
  }
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = data.data() + static_cast<std::size_t>(y) * stride;
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = readPixel(row + static_cast<std::size_t>(x) * 4, format.bigEndian);
      *out++ = channel(pixel, format.redMask);
      *out++ = channel(pixel, format.greenMask);
      *out++ = channel(pixel, format.blueMask);
      *out++ = format.hasAlpha ? static_cast<std::uint8_t>(pixel >> 24U) : 255;
    }
  }
  return image;
}

Image placedOnWhite(const Image& image, int x, int y, int width, int height) {
  Image canvas{width, height, std::vector<std::uint8_t>(pixelCount(width, height) * 4, 255)};
  // The columns of `image` that land on the canvas, copied a row at a time.
  const int firstColumn = std::max(0, -x);
  const int endColumn = std::min(image.width, width - x);
  if (endColumn <= firstColumn) {
    return canvas;
  }
  const auto rowBytes = static_cast<std::size_t>(endColumn - firstColumn) * 4;
  for (int row = 0; row < image.height; ++row) {
    const int targetY = y + row;
    if (targetY < 0 || targetY >= height) {
      continue;
    }
    const auto from = (static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width) +
                       static_cast<std::size_t>(firstColumn)) *
                      4;
    const auto to = (static_cast<std::size_t>(targetY) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x + firstColumn)) *
                    4;
    std::copy_n(image.rgba.begin() + static_cast<std::ptrdiff_t>(from), rowBytes,
                canvas.rgba.begin() + static_cast<std::ptrdiff_t>(to));
  }
  return canvas;
}

Image whitenedOver(Image image, std::span<const PixelRect> rects) {
  for (const auto& rect : rects) {
    const int left = std::clamp(rect.x, 0, image.width);
    const int right = std::clamp(rect.x + std::max(rect.width, 0), 0, image.width);
    const int top = std::clamp(rect.y, 0, image.height);
    const int bottom = std::clamp(rect.y + std::max(rect.height, 0), 0, image.height);
    for (int row = top; row < bottom; ++row) {
      const auto from = (static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width) +
                         static_cast<std::size_t>(left)) *
                        4;
      std::fill_n(image.rgba.begin() + static_cast<std::ptrdiff_t>(from),
                  static_cast<std::size_t>(right - left) * 4, std::uint8_t{255});
    }
  }
  return image;
}

Image resizedTo(const Image& image, PixelSize size) {
  if (size.width <= 0 || size.height <= 0) {
    return Image{};
  }
  if ((size.width == image.width && size.height == image.height) || image.width <= 0 || image.height <= 0) {
    return image;
  }
  Image result{size.width, size.height, std::vector<std::uint8_t>(pixelCount(size.width, size.height) * 4)};
  const auto sourceWidth = static_cast<std::size_t>(image.width);
  for (int y = 0; y < size.height; ++y) {
    // The source rows and columns this target pixel covers (at least one of each).
    const int y0 = y * image.height / size.height;
    const int y1 = std::max(y0 + 1, (y + 1) * image.height / size.height);
    for (int x = 0; x < size.width; ++x) {
      const int x0 = x * image.width / size.width;
      const int x1 = std::max(x0 + 1, (x + 1) * image.width / size.width);
      std::array<unsigned, 4> sum{};
      for (int sy = y0; sy < y1; ++sy) {
        for (int sx = x0; sx < x1; ++sx) {
          const auto at = (static_cast<std::size_t>(sy) * sourceWidth + static_cast<std::size_t>(sx)) * 4;
          for (std::size_t c = 0; c < 4; ++c) {
            sum[c] += image.rgba[at + c];
          }
        }
      }
      const auto count = static_cast<unsigned>((y1 - y0) * (x1 - x0));
      const auto to =
          (static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width) + static_cast<std::size_t>(x)) *
          4;
      for (std::size_t c = 0; c < 4; ++c) {
        result.rgba[to + c] = static_cast<std::uint8_t>(sum[c] / count);
      }
    }
  }
  return result;
}

}  // namespace wrenfold
