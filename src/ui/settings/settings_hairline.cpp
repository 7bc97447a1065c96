#include "ui/settings/settings_hairline.h"

#include <QPainter>

#include "ui/overlay/overlay_style.h"

namespace wrenfold {

SettingsHairline::SettingsHairline(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void SettingsHairline::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), style::hairline(palette()));
}

}  // namespace wrenfold
