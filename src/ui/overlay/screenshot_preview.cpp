#include "ui/overlay/screenshot_preview.h"

#include <QPainter>
#include <QPainterPath>

namespace wrenfold {
namespace {

constexpr double kRadius = 6;

}  // namespace

QImage toQImage(const Image& image) {
  if (image.width <= 0 || image.height <= 0) {
    return {};
  }
  const auto needed = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4u;
  if (image.rgba.size() < needed) {
    return {};
  }
  return QImage(image.rgba.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888)
      .copy();
}

ScreenshotPreview::ScreenshotPreview(QWidget* parent) : QWidget(parent) {
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setAccessibleName(QStringLiteral("当前窗口截图"));
}

bool ScreenshotPreview::setImage(const std::optional<Image>& image) {
  std::optional<Source> source;
  if (image) {
    source = Source{image->rgba.data(), image->width, image->height};
  }
  if (source == source_) {
    return hasImage();
  }
  source_ = source;
  image_ = image ? toQImage(*image) : QImage();
  scaled_ = QPixmap();
  updateGeometry();
  update();
  return hasImage();
}

int ScreenshotPreview::heightForWidth(int width) const {
  if (image_.isNull()) {
    return 0;
  }
  const double natural = static_cast<double>(width) * image_.height() / image_.width();
  return std::min(kMaxHeight, static_cast<int>(natural + 0.5));
}

QSize ScreenshotPreview::sizeHint() const {
  const int w = width() > 1 ? width() : 400;
  return {w, heightForWidth(w)};
}

void ScreenshotPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath frame;
  frame.addRoundedRect(QRectF(rect()), kRadius, kRadius);
  painter.fillPath(frame, QColor(0, 0, 0, 26));  // black at 10 %
  if (image_.isNull()) {
    return;
  }
  const qreal ratio = devicePixelRatioF();
  const QSize target = (QSizeF(size()) * ratio).toSize();
  if (scaled_.isNull() || scaled_.size() != image_.size().scaled(target, Qt::KeepAspectRatio)) {
    scaled_ = QPixmap::fromImage(image_.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    scaled_.setDevicePixelRatio(ratio);
  }
  const QSizeF shown = QSizeF(scaled_.size()) / ratio;
  const QPointF origin((width() - shown.width()) / 2, (height() - shown.height()) / 2);
  painter.setClipPath(frame);
  painter.drawPixmap(origin, scaled_);
}

}  // namespace wrenfold
