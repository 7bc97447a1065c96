#include "platform/qt/qt_image_codec.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <cmath>
#include <cstring>

namespace wrenfold {
namespace {

// A QImage over the core's RGBA bytes (no copy); valid while `image` lives.
QImage view(const Image& image) {
  return QImage(image.rgba.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888);
}

Image fromQImage(const QImage& source) {
  const QImage rgba = source.convertToFormat(QImage::Format_RGBA8888);
  Image out{rgba.width(), rgba.height(), {}};
  const auto rowBytes = static_cast<std::size_t>(rgba.width()) * 4;
  out.rgba.resize(rowBytes * static_cast<std::size_t>(rgba.height()));
  for (int y = 0; y < rgba.height(); ++y) {
    std::memcpy(out.rgba.data() + rowBytes * static_cast<std::size_t>(y), rgba.constScanLine(y), rowBytes);
  }
  return out;
}

bool wellFormed(const Image& image) {
  return image.width > 0 && image.height > 0 &&
         image.rgba.size() ==
             static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4;
}

}  // namespace

Result<Image> QtImageCodec::resized(const Image& image, int width, int height) {
  if (!wellFormed(image) || width < 1 || height < 1) {
    return failPlatform("无法缩放截图：尺寸无效。");
  }
  const QImage scaled = view(image).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  if (scaled.isNull()) {
    return failPlatform("无法缩放截图：内存不足。");
  }
  return fromQImage(scaled);
}

Result<std::vector<std::uint8_t>> QtImageCodec::jpegData(const Image& image, double quality) {
  if (!wellFormed(image)) {
    return failPlatform("无法编码截图：尺寸无效。");
  }
  // JPEG has no alpha: flattened on white, as the capture would look on a light background, in
  // one pass into the encoder's own layout. A window's pixels are opaque and only copied.
  QImage flat(image.width, image.height, QImage::Format_RGB888);
  if (flat.isNull()) {
    return failPlatform("无法编码截图：内存不足。");
  }
  const auto rowBytes = static_cast<std::size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* src = image.rgba.data() + rowBytes * static_cast<std::size_t>(y);
    std::uint8_t* dst = flat.scanLine(y);
    for (int x = 0; x < image.width; ++x, src += 4, dst += 3) {
      const unsigned alpha = src[3];
      for (int c = 0; c < 3; ++c) {
        dst[c] =
            alpha == 255 ? src[c] : static_cast<std::uint8_t>((src[c] * alpha + 127) / 255 + 255 - alpha);
      }
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0)));
  if (!writer.write(flat)) {
    return failPlatform("无法编码截图：" + writer.errorString().toStdString());
  }
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace wrenfold
