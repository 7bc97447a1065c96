#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <vector>

#include "core/platform/image_codec.h"

namespace wrenfold::testing {

// Scaling to a solid image of the new size (no test looks at its pixels) and a stand-in
// "JPEG": the bytes "FAKEJPEG" followed by the width, height and quality in text, so tests can
// see what was encoded. Either step can be made to fail. Thread-safe, like the real one.
class FakeImageCodec final : public ImageCodec {
 public:
  [[nodiscard]] Result<Image> resized(const Image& /*image*/, int width, int height) override {
    std::lock_guard lock(mutex_);
    ++resizeCount_;
    if (failResize_) {
      return failPlatform("无法创建位图");
    }
    return Image{width, height,
                 std::vector<std::uint8_t>(static_cast<std::size_t>(width * height) * 4u, 0xff)};
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
