#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "core/platform/image_codec.h"

namespace wrenfold::testing {

// Nearest-neighbour scaling and a stand-in "JPEG": the bytes "FAKEJPEG" followed by the width,
// height and quality in text, so tests can see what was encoded. Either step can be made to
// fail. Thread-safe, like the real one.
class FakeImageCodec final : public ImageCodec {
 public:
  [[nodiscard]] Result<Image> resized(const Image& image, int width, int height) override {
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
  [[nodiscard]] Result<std::vector<std::uint8_t>> jpegData(const Image& image, double quality) override {
    std::lock_guard lock(mutex_);
    if (failEncoding_) {
      return failPlatform("JPEG 编码失败");
    }
    return encoded(image.width, image.height, quality);
  }

  // --- test interface
  void failResize(bool fail) {
    std::lock_guard lock(mutex_);
    failResize_ = fail;
  }
  void failEncoding(bool fail) {
    std::lock_guard lock(mutex_);
    failEncoding_ = fail;
  }
  // The bytes jpegData gives for an image of this size at this quality.
  [[nodiscard]] static std::vector<std::uint8_t> encoded(int width, int height, double quality) {
    char text[64];
    const int length = std::snprintf(text, sizeof text, "FAKEJPEG %dx%d q%.2f", width, height, quality);
    return std::vector<std::uint8_t>(text, text + length);
  }
  [[nodiscard]] int resizeCount() const {
    std::lock_guard lock(mutex_);
    return resizeCount_;
  }

 private:
  mutable std::mutex mutex_;
  bool failResize_ = false;
  bool failEncoding_ = false;
  int resizeCount_ = 0;
};

}  // namespace wrenfold::testing
