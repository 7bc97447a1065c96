#include "ui/overlay/overlay_button.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "ui/common/style.h"

namespace wrenfold {
namespace {

constexpr double kSpacing = 5;
constexpr double kDisabledOpacity = 0.4;
constexpr double kPressedOpacity = 0.7;

double horizontalPadding(OverlayButton::Kind kind) {
  switch (kind) {
    case OverlayButton::Kind::prominent:
      return 12;
    case OverlayButton::Kind::borderless:
      return 5;
    default:
      return 8;
  }
}

double radius(OverlayButton::Kind kind) {
  return kind == OverlayButton::Kind::prominent || kind == OverlayButton::Kind::bordered ? 5 : 6;
}

}  // namespace

OverlayButton::OverlayButton(Kind kind, std::string symbol, const QString& text, QWidget* parent)
    : QAbstractButton(parent), kind_(kind), symbol_(std::move(symbol)) {
  setText(text);
  setAttribute(Qt::WA_Hover);
  // Clicking must not move keyboard focus away from the panel's key handling; Tab still
  // reaches every button.
  setFocusPolicy(Qt::TabFocus);
  if (kind_ == Kind::chip || kind_ == Kind::borderless) {
    setFont(style::caption(font()));
  } else if (kind_ == Kind::bordered) {
    setFont(style::subheadline(font()));
  }
}

void OverlayButton::setSelected(bool selected) {
  if (selected_ != selected) {
    selected_ = selected;
    update();
  }
}

double OverlayButton::symbolSize() const {
  return std::round(fontMetrics().height() * (text().isEmpty() ? 1.0 : 0.9));
}

QSize OverlayButton::sizeHint() const {
  const double padding = horizontalPadding(kind_);
  const double height = std::round(fontMetrics().height() + (kind_ == Kind::borderless ? 6 : 9));
  if (text().isEmpty()) {
    return {static_cast<int>(height), static_cast<int>(height)};
  }
  const double width = padding * 2 + (symbol_.name().empty() ? 0 : symbolSize() + kSpacing) +
                       fontMetrics().horizontalAdvance(text());
  return {static_cast<int>(std::ceil(width)), static_cast<int>(height)};
}

QColor OverlayButton::contentColor() const {
  const QPalette& p = palette();
  switch (kind_) {
    case Kind::prominent:
      return style::onAccent(p);
    case Kind::chip:
      return selected_ ? style::accent(p) : style::primary(p);
    case Kind::borderless:
      return underMouse() && isEnabled() ? style::primary(p) : style::secondary(p);
    case Kind::bordered:
      return style::primary(p);
  }
  return style::primary(p);
}

QColor OverlayButton::backgroundColor() const {
  const QPalette& p = palette();
  const bool hovered = underMouse() && isEnabled();
  switch (kind_) {
    case Kind::prominent:
      return hovered ? style::accent(p).lighter(110) : style::accent(p);
    case Kind::chip:
      if (selected_) {
        return style::withAlpha(style::accent(p), 0.14);
      }
      return hovered ? style::withAlpha(style::primary(p), 0.06) : QColor(Qt::transparent);
    case Kind::borderless:
      return hovered ? style::withAlpha(style::primary(p), 0.08) : QColor(Qt::transparent);
    case Kind::bordered:
      return style::withAlpha(style::primary(p), hovered ? 0.09 : 0.05);
  }
  return Qt::transparent;
}

void OverlayButton::paintFocusRing(QPainter& painter, const QRectF& box) const {
  painter.setPen(QPen(style::withAlpha(style::accent(palette()), 0.8), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(box.adjusted(1, 1, -1, -1), radius(kind_), radius(kind_));
}

void OverlayButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (!isEnabled()) {
    painter.setOpacity(kDisabledOpacity);
  } else if (isDown()) {
    painter.setOpacity(kPressedOpacity);
  }
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.setPen(kind_ == Kind::bordered ? QPen(style::withAlpha(style::primary(palette()), 0.2), 1)
                                         : Qt::NoPen);
  painter.setBrush(backgroundColor());
  painter.drawRoundedRect(box, radius(kind_), radius(kind_));

  const QColor color = contentColor();
  const double icon = symbolSize();
  const double textWidth = fontMetrics().horizontalAdvance(text());
  const bool hasSymbol = !symbol_.name().empty();
  const double contentWidth =
      (hasSymbol ? icon : 0) + (hasSymbol && !text().isEmpty() ? kSpacing : 0) + textWidth;
  double x = (width() - contentWidth) / 2;
  if (hasSymbol) {
    symbol_.paint(painter, QRectF(x, (height() - icon) / 2, icon, icon), color);
    x += icon + kSpacing;
  }
  if (!text().isEmpty()) {
    painter.setPen(color);
    painter.setFont(font());
    painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
  }
  if (hasFocus() && keyboardFocus_) {
    painter.setOpacity(1);
    paintFocusRing(painter, box);
  }
}

void OverlayButton::focusInEvent(QFocusEvent* event) {
  keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  QAbstractButton::focusInEvent(event);
}

void OverlayButton::focusOutEvent(QFocusEvent* event) {
  keyboardFocus_ = false;
  QAbstractButton::focusOutEvent(event);
}

}  // namespace wrenfold
