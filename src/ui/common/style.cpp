#include "ui/common/style.h"

#include <QScrollBar>

namespace wrenfold::style {
namespace {

QFont scaled(QFont font, double factor) {
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() * factor);
  } else {
    font.setPixelSize(std::max(1, static_cast<int>(font.pixelSize() * factor + 0.5)));
  }
  return font;
}

}  // namespace

bool isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightnessF() < 0.5f;
}

QColor withAlpha(QColor color, double alpha) {
  color.setAlphaF(static_cast<float>(alpha));
  return color;
}

QColor accent(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor onAccent(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::HighlightedText);
}

QColor primary(const QPalette& palette) {
  return palette.color(QPalette::Active, QPalette::WindowText);
}

QColor secondary(const QPalette& palette) {
  return withAlpha(primary(palette), 0.62);
}

QColor warning(const QPalette& palette) {
  return isDark(palette) ? QColor(255, 159, 10) : QColor(199, 104, 0);
}

QColor panelBackground(const QPalette& palette) {
  return withAlpha(palette.color(QPalette::Active, QPalette::Window), 0.97);
}

QColor hairline(const QPalette& palette) {
  return withAlpha(primary(palette), isDark(palette) ? 0.16 : 0.11);
}

void styleSlimScrollBar(QScrollBar& bar, const QPalette& palette) {
  const QColor handle = withAlpha(primary(palette), 0.28);
  const QString rgba = QStringLiteral("rgba(%1, %2, %3, %4)")
                           .arg(handle.red())
                           .arg(handle.green())
                           .arg(handle.blue())
                           .arg(handle.alpha());
  const QString sheet =
      QStringLiteral(
          "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 3px 2px 0; }"
          "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 28px; }"
          "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
          "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
          .arg(rgba);
  if (bar.styleSheet() != sheet) {
    bar.setStyleSheet(sheet);
  }
}

QFont caption(QFont base) {
  return scaled(std::move(base), 0.86);
}

QFont subheadline(QFont base) {
  return scaled(std::move(base), 0.93);
}

QFont headline(QFont base) {
  base.setWeight(QFont::DemiBold);
  return base;
}

QFont medium(QFont base) {
  base.setWeight(QFont::Medium);
  return base;
}

}  // namespace wrenfold::style
