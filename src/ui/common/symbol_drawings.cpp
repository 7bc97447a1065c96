// The drawn forms of every symbol, for desktops whose icon theme lacks them. Each draws on a
// 16 x 16 canvas with round ends, like the brand mark: the overlay's with strokes 1.4 wide, the
// settings window's finer ones 1.3.
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <utility>

#include "ui/common/symbol.h"

namespace wrenfold {
namespace {

constexpr double kCanvas = 16.0;
constexpr double kStroke = 1.4;
constexpr double kFineStroke = 1.3;

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

QPainterPath polyline(std::initializer_list<QPointF> points) {
  QPainterPath path;
  bool first = true;
  for (const QPointF& point : points) {
    if (first) {
      path.moveTo(point);
      first = false;
    } else {
      path.lineTo(point);
    }
  }
  return path;
}

// A four-pointed star with concave sides, centred on `c`.
QPainterPath sparkle(QPointF c, double r) {
  const double k = r * 0.18;
  QPainterPath path(QPointF(c.x(), c.y() - r));
  path.quadTo(QPointF(c.x() + k, c.y() - k), QPointF(c.x() + r, c.y()));
  path.quadTo(QPointF(c.x() + k, c.y() + k), QPointF(c.x(), c.y() + r));
  path.quadTo(QPointF(c.x() - k, c.y() + k), QPointF(c.x() - r, c.y()));
  path.quadTo(QPointF(c.x() - k, c.y() - k), QPointF(c.x(), c.y() - r));
  return path;
}

void xmark(QPainter& p, const QColor& c) {
  usePen(p, c, 1.6);
  p.drawLine(QPointF(4, 4), QPointF(12, 12));
  p.drawLine(QPointF(12, 4), QPointF(4, 12));
}

void arrowClockwise(QPainter& p, const QColor& c) {
  usePen(p, c);
  QPainterPath arc;
  const QRectF circle(3, 3, 10, 10);
  arc.arcMoveTo(circle, 35);
  arc.arcTo(circle, 35, -305);  // clockwise from upper right round to the top
  p.drawPath(arc);
  p.drawPath(polyline({{6.4, 1.2}, {8.4, 3}, {6.4, 4.8}}));
}

void textViewfinder(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawPath(polyline({{2, 5.5}, {2, 2}, {5.5, 2}}));
  p.drawPath(polyline({{10.5, 2}, {14, 2}, {14, 5.5}}));
  p.drawPath(polyline({{14, 10.5}, {14, 14}, {10.5, 14}}));
  p.drawPath(polyline({{5.5, 14}, {2, 14}, {2, 10.5}}));
  p.drawLine(QPointF(5.2, 6), QPointF(10.8, 6));
  p.drawLine(QPointF(5.2, 8), QPointF(10.8, 8));
  p.drawLine(QPointF(5.2, 10), QPointF(8.8, 10));
}

void sparkles(QPainter& p, const QColor& c) {
  useFill(p, c);
  p.drawPath(sparkle({6.5, 9.5}, 5.6));
  p.drawPath(sparkle({12.6, 3.6}, 2.8));
  p.drawPath(sparkle({12.8, 12.6}, 1.9));
}

void warningTriangle(QPainter& p, const QColor& c) {
  QPainterPath triangle = polyline({{8, 1.6}, {15, 14.2}, {1, 14.2}});
  triangle.closeSubpath();
  // Round the corners by stroking the outline too.
  QPainterPathStroker stroker;
  stroker.setWidth(1.6);
  stroker.setJoinStyle(Qt::RoundJoin);
  QPainterPath shape = triangle.united(stroker.createStroke(triangle));
  QPainterPath mark;
  mark.addRoundedRect(QRectF(7.15, 5.2, 1.7, 5), 0.85, 0.85);
  mark.addEllipse(QPointF(8, 12), 1.0, 1.0);
  useFill(p, c);
  p.drawPath(shape.subtracted(mark));
}

void plusRectangleOnRectangle(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawPath(polyline({{1.8, 11}, {1.8, 3.4}, {2.6, 2.6}, {10, 2.6}}));
  p.drawRoundedRect(QRectF(4.6, 5.2, 9.8, 9), 1.8, 1.8);
  p.drawLine(QPointF(9.5, 7.5), QPointF(9.5, 11.9));
  p.drawLine(QPointF(7.3, 9.7), QPointF(11.7, 9.7));
}

void docOnDoc(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawPath(polyline(
      {{3, 10.6}, {2.6, 10.6}, {2.2, 10.2}, {2.2, 2.6}, {2.6, 2.2}, {9.4, 2.2}, {9.8, 2.6}, {9.8, 3.2}}));
  p.drawRoundedRect(QRectF(5.6, 5.4, 8.2, 9.4), 1.6, 1.6);
}

void textInsert(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawLine(QPointF(8, 1.8), QPointF(8, 9.6));
  p.drawPath(polyline({{4.8, 6.6}, {8, 9.8}, {11.2, 6.6}}));
  p.drawPath(polyline({{2.2, 10.8}, {2.2, 13.8}, {13.8, 13.8}, {13.8, 10.8}}));
}

void chevronRight(QPainter& p, const QColor& c) {
  usePen(p, c, 1.6);
  p.drawPath(polyline({{6, 3.5}, {10.5, 8}, {6, 12.5}}));
}

void chevronDown(QPainter& p, const QColor& c) {
  usePen(p, c, 1.6);
  p.drawPath(polyline({{3.5, 6}, {8, 10.5}, {12.5, 6}}));
}

void replyArrow(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawPath(polyline({{6, 2.8}, {1.8, 7}, {6, 11.2}}));
  QPainterPath shaft(QPointF(2.2, 7));
  shaft.lineTo(9, 7);
  shaft.cubicTo(QPointF(12.4, 7), QPointF(14.2, 9.2), QPointF(14.2, 13.4));
  p.drawPath(shaft);
}

void wandAndStars(QPainter& p, const QColor& c) {
  usePen(p, c, 1.8);
  p.drawLine(QPointF(2.2, 13.8), QPointF(9.6, 6.4));
  useFill(p, c);
  p.drawPath(sparkle({11.8, 4.2}, 3.2));
  p.drawPath(sparkle({5.2, 3.2}, 1.8));
  p.drawPath(sparkle({13.4, 10.6}, 1.8));
}

void textAlignLeft(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawLine(QPointF(2.5, 3.5), QPointF(13.5, 3.5));
  p.drawLine(QPointF(2.5, 6.5), QPointF(10, 6.5));
  p.drawLine(QPointF(2.5, 9.5), QPointF(13.5, 9.5));
  p.drawLine(QPointF(2.5, 12.5), QPointF(8.5, 12.5));
}

void briefcase(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawRoundedRect(QRectF(1.8, 5, 12.4, 9), 1.8, 1.8);
  p.drawPath(polyline({{5.6, 5}, {5.6, 3.2}, {6.2, 2.6}, {9.8, 2.6}, {10.4, 3.2}, {10.4, 5}}));
  p.drawLine(QPointF(1.8, 9), QPointF(14.2, 9));
}

void bookClosed(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawRoundedRect(QRectF(2.8, 1.8, 10.4, 12.4), 1.6, 1.6);
  p.drawLine(QPointF(5.4, 1.8), QPointF(5.4, 14.2));
  // A small "A" on the cover: a book of characters.
  p.drawPath(polyline({{7.6, 10}, {9.4, 5}, {11.2, 10}}));
  p.drawLine(QPointF(8.3, 8.2), QPointF(10.5, 8.2));
}

void globe(QPainter& p, const QColor& c) {
  usePen(p, c, 1.2);
  p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
  p.drawEllipse(QPointF(8, 8), 2.6, 6.2);
  p.drawLine(QPointF(1.8, 8), QPointF(14.2, 8));
  p.drawLine(QPointF(3, 4.8), QPointF(13, 4.8));
  p.drawLine(QPointF(3, 11.2), QPointF(13, 11.2));
}

void listBullet(QPainter& p, const QColor& c) {
  usePen(p, c);
  for (double y : {3.5, 8.0, 12.5}) {
    p.drawLine(QPointF(6.2, y), QPointF(14, y));
  }
  useFill(p, c);
  for (double y : {3.5, 8.0, 12.5}) {
    p.drawEllipse(QPointF(2.8, y), 1.15, 1.15);
  }
}

// The command-key clover: one quarter, turned four times about the centre.
void command(QPainter& p, const QColor& c) {
  usePen(p, c, 1.3);
  QPainterPath quarter(QPointF(6.2, 8));
  quarter.lineTo(6.2, 4.4);
  quarter.arcTo(QRectF(2.6, 2.6, 3.6, 3.6), 0, 270);
  quarter.lineTo(8, 6.2);
  for (int turn = 0; turn < 4; ++turn) {
    p.save();
    p.translate(8, 8);
    p.rotate(90.0 * turn);
    p.translate(-8, -8);
    p.drawPath(quarter);
    p.restore();
  }
}

void circleDashed(QPainter& p, const QColor& c) {
  usePen(p, c);
  p.drawEllipse(QPointF(8, 8), 5.6, 5.6);
  useFill(p, c);
  p.drawEllipse(QPointF(8, 8), 1.6, 1.6);
}

void cpu(QPainter& p, const QColor& c) {
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
  p.drawRoundedRect(QRectF(1.2, 3.6, 13.6, 8.8), 1.8, 1.8);
  useFill(p, c);
  for (const double x : {3.9, 6.3, 8.7, 11.1}) {
    p.drawEllipse(QPointF(x + 0.5, 6.4), 0.75, 0.75);
  }
  usePen(p, c, kFineStroke);
  p.drawLine(QPointF(5.2, 9.6), QPointF(10.8, 9.6));
}

void squareGrid(QPainter& p, const QColor& c) {
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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
  usePen(p, c, kFineStroke);
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

struct Entry {
  std::string_view name;
  Drawing drawing;
  bool ownCanvas = false;  // drawn on a canvas of its own (see symbolNeedsOwnCanvas)
};

constexpr Entry kDrawings[] = {
    {"xmark", xmark},
    {"arrow.clockwise", arrowClockwise},
    {"text.viewfinder", textViewfinder},
    {"sparkles", sparkles},
    {"exclamationmark.triangle.fill", warningTriangle},
    {"plus.rectangle.on.rectangle", plusRectangleOnRectangle},
    {"doc.on.doc", docOnDoc},
    {"text.insert", textInsert},
    {"chevron.right", chevronRight},
    {"chevron.down", chevronDown},
    {"arrowshape.turn.up.left", replyArrow},
    {"wand.and.stars", wandAndStars},
    {"text.alignleft", textAlignLeft},
    {"briefcase", briefcase},
    {"character.book.closed", bookClosed},
    {"globe", globe},
    {"list.bullet", listBullet},
    {"command", command},
    {"circle.dashed", circleDashed},
    {"cpu", cpu, true},
    {"keyboard", keyboard, true},
    {"square.grid.2x2", squareGrid, true},
    {"lock.shield", lockShield, true},
    {"hand.raised", handRaised, true},
    {"eye", eye, true},
    {"eye.slash", eyeSlash, true},
    {"checkmark.circle.fill", checkmarkCircleFill, true},
    {"exclamationmark.circle.fill", exclamationCircleFill, true},
    {"accessibility", accessibilityFigure, true},
    {"rectangle.on.rectangle", rectangleOnRectangle, true},
    {"arrow.counterclockwise", arrowCounterclockwise, true},
};

const Entry* entryFor(std::string_view name) {
  const auto* it = std::ranges::find_if(kDrawings, [&](const Entry& entry) { return entry.name == name; });
  return it == std::end(kDrawings) ? nullptr : it;
}

}  // namespace

bool drawSymbol(QPainter& painter, std::string_view name, const QColor& color) {
  const Entry* entry = entryFor(name);
  if (entry == nullptr) {
    return false;
  }
  entry->drawing(painter, color);
  return true;
}

bool symbolNeedsOwnCanvas(std::string_view name) {
  const Entry* entry = entryFor(name);
  return entry != nullptr && entry->ownCanvas;
}

}  // namespace wrenfold
