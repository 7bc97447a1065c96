#pragma once

#include "core/platform/image_codec.h"

namespace wrenfold {

// Scaling and JPEG on QImage: smooth (bilinear with area averaging when shrinking) into
// 8-bit sRGB, and Qt's JPEG writer. Thread-safe: QImage is reentrant and nothing is shared.
class QtImageCodec final : public ImageCodec {
 public:
  [[nodiscard]] Result<Image> resized(const Image& image, int width, int height) override;
  [[nodiscard]] Result<std::vector<std::uint8_t>> jpegData(const Image& image, double quality) override;
};

}  // namespace wrenfold
