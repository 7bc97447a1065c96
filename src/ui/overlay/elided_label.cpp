#include "ui/overlay/elided_label.h"

#include <QPainter>

namespace wrenfold {

ElidedLabel::ElidedLabel(Tone tone, QWidget* parent) : QLabel(parent), tone_(tone) {
  // Text from other applications is never markup.
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
  setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString& text) {
  QString oneLine = text;
  oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (oneLine != this->text()) {
    setText(oneLine);
    setToolTip(oneLine);
  }
}

QSize ElidedLabel::minimumSizeHint() const {
  return {0, fontMetrics().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(tone_(parentWidget() ? parentWidget()->palette() : palette()));
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
  painter.drawText(contentsRect(), static_cast<int>(alignment()) | Qt::TextSingleLine, shown);
}

}  // namespace wrenfold
