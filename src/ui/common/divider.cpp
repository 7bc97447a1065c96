#include "ui/common/divider.h"

#include <QPainter>

#include "ui/common/style.h"

namespace wrenfold {

Divider::Divider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), style::hairline(palette()));
}

}  // namespace wrenfold
