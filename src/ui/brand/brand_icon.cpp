#include "ui/brand/brand_icon.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <array>
#include <charconv>
#include <span>
#include <vector>

#include "ui/common/symbol.h"

namespace wrenfold {
namespace {

struct Vertex {
  double x;
  double y;  // y grows upwards, as the mark was designed
};

// Each stroke is one open polyline; the path is stroked once with round caps and joins. The
// brackets' lines lie 2.5 inside the canvas with arms of 4.25; the I-beam's bars are 3.2 wide
// (centre 9 +- 1.6) and its stem runs from 6 to 12. Written out so the SVG gets exact numbers.
const std::vector<std::vector<Vertex>>& strokes() {
  static const std::vector<std::vector<Vertex>> kStrokes = {
      {{2.5, 6.75}, {2.5, 2.5}, {6.75, 2.5}},        // bottom-left bracket
      {{11.25, 2.5}, {15.5, 2.5}, {15.5, 6.75}},     // bottom-right bracket
      {{15.5, 11.25}, {15.5, 15.5}, {11.25, 15.5}},  // top-right bracket
      {{6.75, 15.5}, {2.5, 15.5}, {2.5, 11.25}},     // top-left bracket
      {{7.4, 6}, {10.6, 6}},                         // I-beam foot
      {{9, 6}, {9, 12}},                             // stem
      {{7.4, 12}, {10.6, 12}},                       // head
  };
  return kStrokes;
}

// Widget and SVG space grow downwards.
QPointF toScreen(const Vertex& v) {
  return {v.x, BrandIcon::kCanvas - v.y};
}

std::string number(double value) {
  std::array<char, 32> buffer{};
  auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return ec == std::errc() ? std::string(buffer.data(), end) : std::string("0");
}

// Paints with the palette of the moment, so a tray or menu redraw after a theme switch follows.
class BrandIconEngine final : public PaintedIconEngine {
 public:
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    BrandIcon::paint(*painter, QRectF(rect), symbolColor(mode));
  }

  QIconEngine* clone() const override { return new BrandIconEngine; }
  QString key() const override { return QStringLiteral("wrenfold-brand"); }
};

// The tray's mark: fixed colours, drawn at any size the tray asks for.
class TrayIconEngine final : public PaintedIconEngine {
 public:
  explicit TrayIconEngine(std::optional<QColor> foreground) : foreground_(foreground) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    if (foreground_) {
      BrandIcon::paint(*painter, QRectF(rect), *foreground_);
      return;
    }
    BrandIcon::paintBadge(*painter, QRectF(rect));
  }

  QIconEngine* clone() const override { return new TrayIconEngine(foreground_); }
  QString key() const override { return QStringLiteral("wrenfold-tray"); }

 private:
  std::optional<QColor> foreground_;
};

}  // namespace

QIcon BrandIcon::makeTrayIcon(std::optional<QColor> panelForeground) {
  return QIcon(new TrayIconEngine(panelForeground));  // not a mask: the tray must not recolour it
}

QPainterPath BrandIcon::path() {
  QPainterPath path;
  for (const auto& stroke : strokes()) {
    path.moveTo(toScreen(stroke.front()));
    for (const Vertex& v : std::span(stroke).subspan(1)) {
      path.lineTo(toScreen(v));
    }
  }
  return path;
}

void BrandIcon::paint(QPainter& painter, const QRectF& target, const QColor& color) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(target.topLeft());
  painter.scale(target.width() / kCanvas, target.height() / kCanvas);
  QPen pen(color, kLineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path());
  painter.restore();
}

void BrandIcon::paintBadge(QPainter& painter, const QRectF& target) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(255, 255, 255, 160), target.width() / kCanvas * 0.75));
  painter.setBrush(QColor(38, 42, 50));
  const double radius = target.width() * 0.22;
  painter.drawRoundedRect(target.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  painter.restore();
  paint(painter, target, Qt::white);
}

QIcon BrandIcon::makeTemplateIcon() {
  QIcon icon(new BrandIconEngine);  // the icon owns its engine
  icon.setIsMask(true);
  return icon;
}

std::string brandIconSvg() {
  std::string d;
  for (const auto& stroke : strokes()) {
    char command = 'M';
    for (const Vertex& v : stroke) {
      const QPointF p = toScreen(v);
      d += command + number(p.x()) + ' ' + number(p.y());
      command = 'L';
    }
  }
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"18\" height=\"18\" viewBox=\"0 0 18 18\">\n"
         "  <path d=\"" +
         d +
         "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\" stroke-linecap=\"round\" "
         "stroke-linejoin=\"round\"/>\n"
         "</svg>\n";
}

}  // namespace wrenfold
