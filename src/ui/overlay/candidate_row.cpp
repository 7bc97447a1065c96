#include "ui/overlay/candidate_row.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/overlay/elided_label.h"
#include "ui/overlay/overlay_button.h"
#include "ui/overlay/selectable_text_view.h"

namespace wrenfold {
namespace {

constexpr int kBadge = 16;
constexpr double kRadius = 8;

}  // namespace

// The number in a small circle, with digits of equal width.
class NumberBadge final : public QWidget {
 public:
  NumberBadge(int number, QWidget* parent) : QWidget(parent), number_(QString::number(number)) {
    setFixedSize(kBadge, kBadge);
    QFont digits = style::caption(font());
    digits.setWeight(QFont::DemiBold);
    setFont(digits);
  }

  void setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& p = palette();
    painter.setPen(Qt::NoPen);
    painter.setBrush(highlighted_ ? style::accent(p) : style::withAlpha(style::primary(p), 0.1));
    painter.drawEllipse(QRectF(rect()));
    painter.setPen(highlighted_ ? style::onAccent(p) : style::secondary(p));
    painter.drawText(rect(), Qt::AlignCenter, number_);
  }

 private:
  QString number_;
  bool highlighted_ = false;
};

CandidateRow::CandidateRow(const GeneratedCandidate& candidate, int number, QWidget* parent)
    : QWidget(parent),
      candidate_(candidate),
      number_(number),
      badge_(new NumberBadge(number, this)),
      copy_(new OverlayButton(OverlayButton::Kind::borderless, "doc.on.doc", QString(), this)),
      insert_(new OverlayButton(OverlayButton::Kind::borderless, "text.insert", QString(), this)),
      text_(new SelectableTextView(this)) {
  const QString n = QString::number(number);
  setObjectName(QString::fromStdString(candidate.id.string()));
  setAccessibleName(QStringLiteral("候选 ") + n);
  setAccessibleDescription(QString::fromStdString(candidate.text));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(10, 8, 8, 10);
  column->setSpacing(6);

  auto* top = new QHBoxLayout;
  top->setSpacing(7);
  top->addWidget(badge_);
  if (candidate.title) {
    auto* title = new ElidedLabel(style::secondary, this);
    title->setFont(style::medium(style::caption(font())));
    title->setFullText(QString::fromStdString(*candidate.title));
    top->addWidget(title, 1);
  } else {
    top->addStretch(1);
  }
  copy_->setToolTip(QStringLiteral("复制此候选"));
  copy_->setAccessibleName(QStringLiteral("复制候选 ") + n);
  insert_->setToolTip(QStringLiteral("填入此候选"));
  insert_->setAccessibleName(QStringLiteral("填入候选 ") + n);
  top->addWidget(copy_);
  top->addWidget(insert_);
  column->addLayout(top);

  text_->setText(QString::fromStdString(candidate.text));
  text_->viewport()->setCursor(Qt::IBeamCursor);
  text_->onPressed = [this] { select(); };
  column->addWidget(text_);

  QObject::connect(copy_, &QAbstractButton::clicked, this, [this] {
    if (onCopy) {
      onCopy();
    }
  });
  QObject::connect(insert_, &QAbstractButton::clicked, this, [this] {
    if (onInsert) {
      onInsert();
    }
  });
}

void CandidateRow::setSelected(bool selected) {
  if (selected == selected_) {
    return;
  }
  selected_ = selected;
  badge_->setHighlighted(selected);
  update();
  QAccessible::State changed;
  changed.selected = true;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

void CandidateRow::select() {
  if (onSelect) {
    onSelect();
  }
}

void CandidateRow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    select();
  }
  QWidget::mousePressEvent(event);
}

void CandidateRow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& p = palette();
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QPainterPath shape;
  shape.addRoundedRect(box, kRadius, kRadius);
  if (selected_) {
    painter.fillPath(shape, style::withAlpha(style::accent(p), 0.10));
  }
  painter.setPen(QPen(
      selected_ ? style::withAlpha(style::accent(p), 0.55) : style::withAlpha(style::primary(p), 0.08), 1));
  painter.drawPath(shape);
}

}  // namespace wrenfold
