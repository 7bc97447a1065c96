#pragma once

// A system symbol as the windows name it ("doc.on.doc", "xmark", a template's iconName). It is
// taken from the desktop icon theme when the theme has a monochrome match, else drawn by our own
// strokes, and always painted in the colour asked for, so no symbol is ever blank.

#include <QIcon>
#include <QIconEngine>
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

// An icon engine that only paints: its pixmaps are its painting at the size asked for.
class PaintedIconEngine : public QIconEngine {
 public:
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
};

// An icon of the symbol drawn at paint time in the palette's text colour, so it follows light and
// dark themes and the disabled state.
[[nodiscard]] QIcon symbolIcon(std::string name);

// The drawn forms on a 16 x 16 canvas; false for a name without one (a generic mark is drawn).
bool drawSymbol(QPainter& painter, std::string_view name, const QColor& color);
// Whether the drawing of `name` goes through a transparent canvas of its own: marks it knocks
// out must clear only the symbol's own pixels, never what lies under it.
[[nodiscard]] bool symbolNeedsOwnCanvas(std::string_view name);

}  // namespace wrenfold
