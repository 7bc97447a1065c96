#pragma once

#include <cstdint>
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
  [[nodiscard]] Result<Image> resized(const Image& image, int width, int height) override;
  [[nodiscard]] Result<std::vector<std::uint8_t>> jpegData(const Image& image, double quality) override;

  // --- test interface
  void failResize(bool fail);
  void failEncoding(bool fail);
  // The bytes jpegData gives for an image of this size at this quality.
  [[nodiscard]] static std::vector<std::uint8_t> encoded(int width, int height, double quality);
  [[nodiscard]] int resizeCount() const;

 private:
  mutable std::mutex mutex_;
  bool failResize_ = false;
  bool failEncoding_ = false;
  int resizeCount_ = 0;
};

}  // namespace wrenfold::testing
