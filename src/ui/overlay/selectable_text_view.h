#pragma once

#include <QTextDocument>
#include <QTextEdit>
#include <functional>

namespace wrenfold {

// Read-only plain text that wraps to its width (breaking long unspaced runs such as addresses
// anywhere rather than clipping them), is as tall as its text, and can be selected with the
// mouse. It never scrolls itself: wheel events go to the enclosing scroll area.
class SelectableTextView final : public QTextEdit {
 public:
  explicit SelectableTextView(QWidget* parent = nullptr);

  void setText(const QString& text);
  // Draws the text in `tone` of the surrounding palette (the default is the palette's own).
  void setTone(QColor (*tone)(const QPalette&));
  // Called on a mouse press, before the text selection starts.
  std::function<void()> onPressed;

  [[nodiscard]] bool hasHeightForWidth() const override { return true; }
  [[nodiscard]] int heightForWidth(int width) const override;
  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override;

 protected:
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString shown_;
  QColor (*tone_)(const QPalette&) = nullptr;
  mutable QTextDocument measure_;  // a copy of the text, laid out at the asked width
};

}  // namespace wrenfold
