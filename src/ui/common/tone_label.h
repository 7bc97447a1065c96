#pragma once

#include <QLabel>

namespace wrenfold {

// A plain-text label in a tone derived from the surrounding palette (secondary text, warning
// orange), re-derived whenever that palette changes, so it follows light and dark panels.
class ToneLabel final : public QLabel {
 public:
  using Tone = QColor (*)(const QPalette&);

  ToneLabel(const QString& text, Tone tone, QWidget* parent = nullptr);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void applyTone();

  Tone tone_;
};

// Sets `widget`'s text colours to `tone` of its parent's palette (no change when already so).
void applyTextTone(QWidget& widget, ToneLabel::Tone tone);

}  // namespace wrenfold
