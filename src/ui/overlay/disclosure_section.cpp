#include "ui/overlay/disclosure_section.h"

#include <QPainter>
#include <QVBoxLayout>
#include <cmath>

#include "ui/common/style.h"

namespace wrenfold {
namespace {

constexpr double kChevron = 10;
constexpr double kGap = 6;
constexpr int kBodySpacing = 8;
constexpr int kBodyTopMargin = 8;

}  // namespace

DisclosureButton::DisclosureButton(std::string symbol, const QString& label, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)) {
  setText(label);
  setAccessibleName(label);
  setCheckable(true);
  setFocusPolicy(Qt::TabFocus);
  setAttribute(Qt::WA_Hover);
  setFont(style::medium(font()));
}

QSize DisclosureButton::sizeHint() const {
  const double icon = fontMetrics().height();
  const double width = kChevron + kGap + icon + kGap + fontMetrics().horizontalAdvance(text()) + 4;
  return {static_cast<int>(std::ceil(width)), fontMetrics().height() + 6};
}

void DisclosureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor color =
      underMouse() ? style::primary(palette()) : style::withAlpha(style::primary(palette()), 0.85);
  const double icon = fontMetrics().height();
  double x = 0;
  (isChecked() ? chevronDown_ : chevronRight_)
      .paint(painter, QRectF(x, (height() - kChevron) / 2, kChevron, kChevron), style::secondary(palette()));
  x += kChevron + kGap;
  symbol_.paint(painter, QRectF(x, (height() - icon) / 2 + 0.5, icon - 1, icon - 1),
                style::secondary(palette()));
  x += icon + kGap - 1;
  painter.setPen(color);
  painter.drawText(QRectF(x, 0, width() - x, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
  if (hasFocus()) {
    painter.setPen(QPen(style::withAlpha(style::accent(palette()), 0.8), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
  }
}

DisclosureSection::DisclosureSection(std::string symbol, const QString& label, QWidget* parent)
    : QWidget(parent),
      header_(new DisclosureButton(std::move(symbol), label, this)),
      bodyWidget_(new QWidget(this)),
      bodyLayout_(new QVBoxLayout(bodyWidget_)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(header_, 0, Qt::AlignLeft);
  layout->addWidget(bodyWidget_);
  bodyLayout_->setContentsMargins(0, kBodyTopMargin, 0, 0);
  bodyLayout_->setSpacing(kBodySpacing);
  bodyWidget_->setVisible(false);
  QObject::connect(header_, &QAbstractButton::toggled, bodyWidget_, &QWidget::setVisible);
}

bool DisclosureSection::isExpanded() const {
  return header_->isChecked();
}

void DisclosureSection::setExpanded(bool expanded) {
  header_->setChecked(expanded);
}

}  // namespace wrenfold
