#include "ui/common/tone_label.h"

#include <QEvent>

namespace wrenfold {

void applyTextTone(QWidget& widget, ToneLabel::Tone tone) {
  // Derived from the parent: the widget's own palette already carries the last tone.
  const QPalette source = widget.parentWidget() ? widget.parentWidget()->palette() : widget.palette();
  const QColor color = tone(source);
  QPalette palette = widget.palette();
  if (palette.color(QPalette::WindowText) == color && palette.color(QPalette::Text) == color) {
    return;  // also ends the palette-change round our own setPalette starts
  }
  palette.setColor(QPalette::WindowText, color);
  palette.setColor(QPalette::Text, color);
  widget.setPalette(palette);
}

ToneLabel::ToneLabel(const QString& text, Tone tone, QWidget* parent) : QLabel(text, parent), tone_(tone) {
  setTextFormat(Qt::PlainText);
  applyTone();
}

void ToneLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange) {
    applyTone();
  }
}

void ToneLabel::applyTone() {
  applyTextTone(*this, tone_);
}

}  // namespace wrenfold
