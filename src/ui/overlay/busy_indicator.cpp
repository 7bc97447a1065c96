#include "ui/overlay/busy_indicator.h"

#include <QPainter>

#include "ui/common/style.h"

namespace wrenfold {
namespace {

constexpr int kSize = 16;
constexpr int kFrameMs = 40;
constexpr int kStepDegrees = 18;

}  // namespace

BusyIndicator::BusyIndicator(QWidget* parent) : QWidget(parent) {
  setFixedSize(kSize, kSize);
  timer_.setInterval(kFrameMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] {
    angle_ = (angle_ + kStepDegrees) % 360;
    update();
  });
}

void BusyIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF ring = QRectF(rect()).adjusted(2, 2, -2, -2);
  painter.setPen(QPen(style::withAlpha(style::primary(palette()), 0.15), 2));
  painter.drawEllipse(ring);
  painter.setPen(QPen(style::secondary(palette()), 2, Qt::SolidLine, Qt::RoundCap));
  painter.drawArc(ring, -angle_ * 16, 100 * 16);
}

void BusyIndicator::showEvent(QShowEvent*) {
  timer_.start();
}

void BusyIndicator::hideEvent(QHideEvent*) {
  timer_.stop();
}

}  // namespace wrenfold
