// The drawn forms of the symbols the overlay uses, for desktops whose icon theme lacks them.
// Each draws on a 16 x 16 canvas with strokes 1.4 wide and round ends, like the brand mark.
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <utility>

#include "ui/overlay/symbol.h"

namespace wrenfold {
namespace {

constexpr double kStroke = 1.4;

void usePen(QPainter& p, const QColor& c, double width = kStroke) {
  p.setPen(QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
}

void useFill(QPainter& p, const QColor& c) {
  p.setPen(Qt::NoPen);
  p.setBrush(c);
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

using Drawing = void (*)(QPainter&, const QColor&);

constexpr std::pair<std::string_view, Drawing> kDrawings[] = {
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
};

}  // namespace

bool drawSymbol(QPainter& painter, std::string_view name, const QColor& color) {
  const auto* it = std::ranges::find_if(kDrawings, [&](const auto& entry) { return entry.first == name; });
  if (it == std::end(kDrawings)) {
    return false;
  }
  it->second(painter, color);
  return true;
}

}  // namespace wrenfold
