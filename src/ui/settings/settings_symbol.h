#pragma once

// The symbols of the settings window (tab icons, the eye button, status and permission marks),
// drawn by our own strokes on a 16 x 16 canvas like the overlay's; names the overlay already
// draws ("arrow.clockwise", "exclamationmark.triangle.fill") come from its Symbol.

#include <QIcon>
#include <string>
#include <string_view>

class QPainter;
class QColor;
class QRectF;

namespace wrenfold {

class SettingsSymbol {
 public:
  // Paints `name` into `rect` in `color`; a name without a drawing gets the overlay's fallback.
  static void paint(QPainter& painter, std::string_view name, const QRectF& rect, const QColor& color);
  // An icon drawn at paint time in the palette's text colour, so it follows light and dark
  // themes and the disabled state.
  [[nodiscard]] static QIcon icon(std::string name);
  // Whether `name` has a drawing of its own here.
  [[nodiscard]] static bool hasDrawing(std::string_view name);
};

}  // namespace wrenfold
