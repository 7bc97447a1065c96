#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <optional>

#include "core/records/image.h"

namespace wrenfold {

// The captured window, scaled to fit the panel's width and at most 150 high, on a faint dark
// backing with rounded corners.
class ScreenshotPreview final : public QWidget {
 public:
  static constexpr int kMaxHeight = 150;

  explicit ScreenshotPreview(QWidget* parent = nullptr);

  // Returns whether there is a picture to show: absent, empty or malformed images (fewer bytes
  // than their size says) show nothing.
  bool setImage(const std::optional<Image>& image);
  [[nodiscard]] bool hasImage() const { return !image_.isNull(); }

  [[nodiscard]] bool hasHeightForWidth() const override { return true; }
  [[nodiscard]] int heightForWidth(int width) const override;
  [[nodiscard]] QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Identifies the image last converted without comparing megabytes on every model change: a
  // new image is always a new allocation made while the old one is still held.
  struct Source {
    const std::uint8_t* bytes;
    int width;
    int height;
    bool operator==(const Source&) const = default;
  };

  QImage image_;
  QPixmap scaled_;  // cached for the current size
  std::optional<Source> source_;
};

// The core's RGBA image as a QImage (a deep copy); null when the bytes do not cover the size.
[[nodiscard]] QImage toQImage(const Image& image);

}  // namespace wrenfold
