#pragma once

#include <QTimer>
#include <QWidget>

namespace wrenfold {

// A small spinning arc shown while the overlay waits; it only animates while visible.
class BusyIndicator final : public QWidget {
 public:
  explicit BusyIndicator(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer timer_;
  int angle_ = 0;
};

}  // namespace wrenfold
