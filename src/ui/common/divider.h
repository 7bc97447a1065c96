#pragma once

#include <QWidget>

namespace wrenfold {

// A one-pixel divider in the palette's hairline colour, between sections and rows.
class Divider final : public QWidget {
 public:
  explicit Divider(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace wrenfold
