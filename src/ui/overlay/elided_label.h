#pragma once

#include <QLabel>

namespace wrenfold {

// A one-line plain-text label that ends in an ellipsis when it does not fit, drawn in a tone of
// the surrounding palette. Screen readers and the tooltip get the whole text.
class ElidedLabel final : public QLabel {
 public:
  using Tone = QColor (*)(const QPalette&);

  explicit ElidedLabel(Tone tone, QWidget* parent = nullptr);

  void setFullText(const QString& text);
  [[nodiscard]] QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Tone tone_;
};

}  // namespace wrenfold
