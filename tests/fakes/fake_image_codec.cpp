#include "fakes/fake_image_codec.h"

#include <cstddef>
#include <cstdio>
#include <string>

namespace wrenfold::testing {

Result<Image> FakeImageCodec::resized(const Image& image, int width, int height) {
  {
    std::lock_guard lock(mutex_);
    ++resizeCount_;
    if (failResize_) {
      return failPlatform("无法创建位图");
    }
  }
  Image out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width * height) * 4u)};
  for (int y = 0; y < height; ++y) {
    const int sy = static_cast<int>(static_cast<long long>(y) * image.height / height);
    for (int x = 0; x < width; ++x) {
      const int sx = static_cast<int>(static_cast<long long>(x) * image.width / width);
      const auto from = static_cast<std::size_t>(sy * image.width + sx) * 4u;
      const auto to = static_cast<std::size_t>(y * width + x) * 4u;
      for (std::size_t c = 0; c < 4; ++c) {
        out.rgba[to + c] = image.rgba[from + c];
      }
    }
  }
  return out;
}

Result<std::vector<std::uint8_t>> FakeImageCodec::jpegData(const Image& image, double quality) {
  {
    std::lock_guard lock(mutex_);
    if (failEncoding_) {
      return failPlatform("JPEG 编码失败");
    }
  }
  return encoded(image.width, image.height, quality);
}

void FakeImageCodec::failResize(bool fail) {
  std::lock_guard lock(mutex_);
  failResize_ = fail;
}

void FakeImageCodec::failEncoding(bool fail) {
  std::lock_guard lock(mutex_);
  failEncoding_ = fail;
}

std::vector<std::uint8_t> FakeImageCodec::encoded(int width, int height, double quality) {
  char text[64];
  const int length = std::snprintf(text, sizeof text, "FAKEJPEG %dx%d q%.2f", width, height, quality);
  return std::vector<std::uint8_t>(text, text + length);
}

int FakeImageCodec::resizeCount() const {
  std::lock_guard lock(mutex_);
  return resizeCount_;
}

}  // namespace wrenfold::testing
