#pragma once

// The image codec port: scaling and JPEG encoding. Called on a worker thread; implementations
// are thread-safe.

#include <cstdint>
#include <vector>

#include "core/records/image.h"
#include "core/support/failure.h"

namespace wrenfold {

class ImageCodec {
 public:
  ImageCodec() = default;
  virtual ~ImageCodec() = default;
  ImageCodec(const ImageCodec&) = delete;
  ImageCodec& operator=(const ImageCodec&) = delete;

  // `image` redrawn at `width` x `height` (both at least 1) with high-quality interpolation
  // into 8-bit sRGB; a failure when no bitmap of that size can be made.
  [[nodiscard]] virtual Result<Image> resized(const Image& image, int width, int height) = 0;
  // One JPEG frame at lossy `quality` (0 to 1), transparency flattened on white; a failure
  // when the encoder cannot be created or cannot finish.
  [[nodiscard]] virtual Result<std::vector<std::uint8_t>> jpegData(const Image& image, double quality) = 0;
};

}  // namespace wrenfold
