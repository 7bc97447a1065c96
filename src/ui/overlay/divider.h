#pragma once

#include <QWidget>

namespace wrenfold {

// A one-pixel hairline between the overlay's sections.
class Divider final : public QWidget {
 public:
  explicit Divider(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace wrenfold
