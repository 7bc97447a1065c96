#include "ui/settings/settings_symbol.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <algorithm>
#include <array>
#include <utility>

#include "ui/overlay/symbol.h"

namespace wrenfold {
namespace {

constexpr double kCanvas = 16.0;
constexpr double kStroke = 1.3;

void usePen(QPainter& p, const QColor& c, double width = kStroke) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
}

void useFill(QPainter& p, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
}

// Strokes drawn with this pen cut through what was painted before (the marks inside the
// filled circles), so the badge reads on any background.
void useEraser(QPainter& p, double width) {
  p.setCompositionMode(QPainter::CompositionMode_Clear);
  usePen(p, Qt::black, width);
}

void cpu(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawRoundedRect(QRectF(3.5, 3.5, 9, 9), 1.6, 1.6);
  p.drawRect(QRectF(6.3, 6.3, 3.4, 3.4));
  for (const double at : {5.8, 8.0, 10.2}) {
    p.drawLine(QPointF(at, 1.2), QPointF(at, 3.5));
    p.drawLine(QPointF(at, 12.5), QPointF(at, 14.8));
    p.drawLine(QPointF(1.2, at), QPointF(3.5, at));
    p.drawLine(QPointF(12.5, at), QPointF(14.8, at));
  }
}

void keyboard(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawRoundedRect(QRectF(1.2, 3.6, 13.6, 8.8), 1.8, 1.8);
  useFill(p, c);
  for (const double x : {3.9, 6.3, 8.7, 11.1}) {
    p.drawEllipse(QPointF(x + 0.5, 6.4), 0.75, 0.75);
  }
  usePen(p, c);
  p.drawLine(QPointF(5.2, 9.6), QPointF(10.8, 9.6));
}

void squareGrid(QPainter& p, const QColor& c) {
  usePen(p, c);
  for (const double x : {2.0, 9.0}) {
    for (const double y : {2.0, 9.0}) {
      p.drawRoundedRect(QRectF(x, y, 5, 5), 1.2, 1.2);
    }
  }
}

QPainterPath shieldPath() {
  QPainterPath shield(QPointF(8, 1.3));
  shield.cubicTo(QPointF(10, 2.6), QPointF(11.8, 3.1), QPointF(13.6, 3.2));
  shield.cubicTo(QPointF(13.8, 9.2), QPointF(11.6, 12.6), QPointF(8, 14.7));
  shield.cubicTo(QPointF(4.4, 12.6), QPointF(2.2, 9.2), QPointF(2.4, 3.2));
  shield.cubicTo(QPointF(4.2, 3.1), QPointF(6, 2.6), QPointF(8, 1.3));
  return shield;
}

void lockShield(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawPath(shieldPath());
  useFill(p, c);
  p.drawRoundedRect(QRectF(5.6, 7.4, 4.8, 3.8), 0.7, 0.7);
  usePen(p, c, 1.1);
  QPainterPath shackle(QPointF(6.6, 7.4));
  shackle.lineTo(6.6, 6.3);
  shackle.arcTo(QRectF(6.6, 4.9, 2.8, 2.8), 180, -180);
  shackle.lineTo(9.4, 7.4);
  p.drawPath(shackle);
}

void handRaised(QPainter& p, const QColor& c) {
  usePen(p, c);
  // Four fingers, then the palm wrapping round into the thumb.
  const std::array<std::pair<double, double>, 4> fingers{{{4.6, 5.2}, {6.8, 2.6}, {9.0, 2.2}, {11.2, 3.6}}};
  for (const auto& [x, top] : fingers) {
    p.drawLine(QPointF(x, top + 0.6), QPointF(x, 8.2));
    p.drawArc(QRectF(x - 1.05, top, 2.1, 1.4), 0, 180 * 16);
  }
  QPainterPath palm(QPointF(3.55, 5.8));
  palm.lineTo(3.55, 10.2);
  palm.cubicTo(QPointF(3.55, 13.2), QPointF(5.6, 14.8), QPointF(8.2, 14.8));
  palm.cubicTo(QPointF(10.6, 14.8), QPointF(11.6, 13.6), QPointF(12.6, 11.8));
  palm.lineTo(14.4, 8.4);
  palm.cubicTo(QPointF(14.9, 7.4), QPointF(13.6, 6.6), QPointF(12.8, 7.5));
  palm.lineTo(12.25, 8.4);
  palm.lineTo(12.25, 4.2);
  p.drawPath(palm);
}

void eyeShape(QPainter& p, const QColor& c) {
  usePen(p, c);
  QPainterPath lid(QPointF(1.2, 8));
  lid.cubicTo(QPointF(3.6, 3.6), QPointF(12.4, 3.6), QPointF(14.8, 8));
  lid.cubicTo(QPointF(12.4, 12.4), QPointF(3.6, 12.4), QPointF(1.2, 8));
  p.drawPath(lid);
  useFill(p, c);
  p.drawEllipse(QPointF(8, 8), 2.3, 2.3);
}

void eye(QPainter& p, const QColor& c) {
  eyeShape(p, c);
}

void eyeSlash(QPainter& p, const QColor& c) {
  eyeShape(p, c);
  useEraser(p, 3.2);
  p.drawLine(QPointF(2.6, 1.8), QPointF(13.4, 14.2));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  usePen(p, c);
  p.drawLine(QPointF(2.6, 1.8), QPointF(13.4, 14.2));
}

void filledCircle(QPainter& p, const QColor& c) {
  useFill(p, c);
  p.drawEllipse(QPointF(8, 8), 7.2, 7.2);
}

void checkmarkCircleFill(QPainter& p, const QColor& c) {
  filledCircle(p, c);
  useEraser(p, 1.7);
  QPainterPath check(QPointF(4.6, 8.3));
  check.lineTo(7.1, 10.7);
  check.lineTo(11.5, 5.6);
  p.drawPath(check);
}

void exclamationCircleFill(QPainter& p, const QColor& c) {
  filledCircle(p, c);
  useEraser(p, 1.8);
  p.drawLine(QPointF(8, 4.2), QPointF(8, 8.9));
  p.drawPoint(QPointF(8, 11.7));
}

void accessibilityFigure(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawEllipse(QPointF(8, 8), 6.9, 6.9);
  useFill(p, c);
  p.drawEllipse(QPointF(8, 4.4), 1.25, 1.25);
  usePen(p, c, 1.2);
  p.drawLine(QPointF(4.4, 6.5), QPointF(11.6, 6.5));
  p.drawLine(QPointF(8, 6.5), QPointF(8, 9.4));
  p.drawLine(QPointF(8, 9.4), QPointF(6.1, 12.3));
  p.drawLine(QPointF(8, 9.4), QPointF(9.9, 12.3));
}

void rectangleOnRectangle(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawRoundedRect(QRectF(1.4, 5, 10, 8.2), 1.6, 1.6);
  QPainterPath back(QPointF(4.6, 5));
  back.lineTo(4.6, 4.4);
  back.arcTo(QRectF(4.6, 2.8, 3.2, 3.2), 180, -90);
  back.lineTo(12.9, 2.8);
  back.arcTo(QRectF(11.4, 2.8, 3.2, 3.2), 90, -90);
  back.lineTo(14.6, 9.4);
  back.arcTo(QRectF(11.4, 7.8, 3.2, 3.2), 0, -90);
  back.lineTo(11.4, 11);
  p.drawPath(back);
}

void arrowCounterclockwise(QPainter& p, const QColor& c) {
  // The overlay's clockwise arrow, mirrored.
  p.translate(kCanvas, 0);
  p.scale(-1, 1);
  drawSymbol(p, "arrow.clockwise", c);
}

using Drawing = void (*)(QPainter&, const QColor&);

constexpr std::array<std::pair<std::string_view, Drawing>, 12> kDrawings{{
    {"cpu", cpu},
    {"keyboard", keyboard},
    {"square.grid.2x2", squareGrid},
    {"lock.shield", lockShield},
    {"hand.raised", handRaised},
    {"eye", eye},
    {"eye.slash", eyeSlash},
    {"checkmark.circle.fill", checkmarkCircleFill},
    {"exclamationmark.circle.fill", exclamationCircleFill},
    {"accessibility", accessibilityFigure},
    {"rectangle.on.rectangle", rectangleOnRectangle},
    {"arrow.counterclockwise", arrowCounterclockwise},
}};

Drawing drawingFor(std::string_view name) {
  const auto* it = std::ranges::find_if(kDrawings, [&](const auto& entry) { return entry.first == name; });
  return it == kDrawings.end() ? nullptr : it->second;
}

// Our drawings go through a transparent pixmap: the knocked-out marks must clear only the
// symbol's own pixels, never what lies under it.
void paintDrawing(QPainter& painter, Drawing drawing, const QRectF& rect, const QColor& color) {
  const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
  const QSize pixels = (rect.size() * ratio).toSize().expandedTo(QSize(1, 1));
  QPixmap pixmap(pixels);
  pixmap.fill(Qt::transparent);
  {
    QPainter canvas(&pixmap);
    canvas.setRenderHint(QPainter::Antialiasing);
    canvas.scale(pixels.width() / kCanvas, pixels.height() / kCanvas);
    drawing(canvas, color);
  }
  pixmap.setDevicePixelRatio(ratio);
  painter.drawPixmap(rect, pixmap, QRectF(pixmap.rect()));
}

class SettingsSymbolEngine final : public QIconEngine {
 public:
  explicit SettingsSymbolEngine(std::string name) : name_(std::move(name)) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    SettingsSymbol::paint(*painter, name_, QRectF(rect), symbolColor(mode));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }

  QIconEngine* clone() const override { return new SettingsSymbolEngine(name_); }
  QString key() const override { return QStringLiteral("wrenfold-settings-symbol"); }

 private:
  std::string name_;
};

}  // namespace

void SettingsSymbol::paint(QPainter& painter, std::string_view name, const QRectF& rect,
                           const QColor& color) {
  if (const Drawing drawing = drawingFor(name)) {
    paintDrawing(painter, drawing, rect, color);
    return;
  }
  Symbol(std::string(name)).paint(painter, rect, color);
}

QIcon SettingsSymbol::icon(std::string name) {
  return QIcon(new SettingsSymbolEngine(std::move(name)));  // the icon owns its engine
}

bool SettingsSymbol::hasDrawing(std::string_view name) {
  return drawingFor(name) != nullptr;
}

}  // namespace wrenfold
