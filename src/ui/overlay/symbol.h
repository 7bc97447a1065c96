#pragma once

// A system symbol as the overlay names it ("doc.on.doc", "xmark", a template's iconName). It is
// taken from the desktop icon theme when the theme has a monochrome match, else drawn by our own
// strokes, and always painted in the colour asked for, so no symbol is ever blank.

#include <QIcon>
#include <string>
#include <string_view>

class QPainter;
class QColor;
class QRectF;

namespace wrenfold {

class Symbol {
 public:
  explicit Symbol(std::string name = {});

  [[nodiscard]] const std::string& name() const { return name_; }
  // Whether the desktop theme supplies this symbol (else it is drawn).
  [[nodiscard]] bool fromTheme() const { return !themeIcon_.isNull(); }
  void paint(QPainter& painter, const QRectF& rect, const QColor& color) const;

 private:
  std::string name_;
  QIcon themeIcon_;  // null when the theme has no usable match
};

// The text colour of the current palette for an icon in `mode`, read at paint time so icons
// follow a theme switch.
[[nodiscard]] QColor symbolColor(QIcon::Mode mode);

// The drawn forms on a 16 x 16 canvas; false for a name without one (a generic mark is drawn).
bool drawSymbol(QPainter& painter, std::string_view name, const QColor& color);

}  // namespace wrenfold
