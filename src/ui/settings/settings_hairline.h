#pragma once

#include <QWidget>

namespace wrenfold {

// A one-pixel divider in the palette's hairline colour: quiet on light and dark themes alike.
class SettingsHairline : public QWidget {
 public:
  explicit SettingsHairline(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace wrenfold
