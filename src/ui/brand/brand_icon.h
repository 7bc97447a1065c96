#pragma once

// The Wrenfold mark: four corner brackets around a text cursor, a focus frame around an
// insertion point. One 18 x 18 drawing serves the tray, the overlay header and the desktop file.

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <optional>
#include <string>

class QPainter;
class QColor;
class QRectF;

namespace wrenfold {

class BrandIcon {
 public:
  static constexpr double kCanvas = 18.0;
  static constexpr double kLineWidth = 1.5;

  // The stroke path on the 18 x 18 canvas in widget coordinates (y growing downwards).
  [[nodiscard]] static QPainterPath path();
  // Strokes the mark into `target` (scaled from the 18 x 18 canvas) in `color`.
  static void paint(QPainter& painter, const QRectF& target, const QColor& color);
  // The mark in white on a dark rounded badge with a light rim: legible on light and dark
  // panels and menus alike (the tray's fallback and the installed application icons).
  static void paintBadge(QPainter& painter, const QRectF& target);
  // A monochrome icon drawn at paint time in the application palette's window-text colour
  // (so it follows light and dark panels) and flagged as a mask for trays that tint icons.
  [[nodiscard]] static QIcon makeTemplateIcon();
  // The tray icon. The tray draws it on the panel, whose colours are not the application's: in
  // the panel's own foreground colour when the desktop says it (`panelForeground`), else as a
  // white mark on a dark badge, which shows on light and dark panels alike.
  [[nodiscard]] static QIcon makeTrayIcon(std::optional<QColor> panelForeground);
};

// The same drawing as SVG text in black strokes: the symbolic icon, which the desktop tints to
// the menu's text colour.
[[nodiscard]] std::string brandIconSvg();

}  // namespace wrenfold
