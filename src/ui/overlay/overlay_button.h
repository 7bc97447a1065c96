#pragma once

// The overlay's buttons, drawn by us so the panel looks the same under every widget style:
// borderless symbol buttons, small bordered buttons, the prominent insert button and the
// template chips. Each may carry a symbol and a text; the symbol follows the text colour.

#include <QAbstractButton>
#include <string>

#include "ui/common/symbol.h"

namespace wrenfold {

class OverlayButton : public QAbstractButton {
 public:
  enum class Kind { borderless, bordered, prominent, chip };

  OverlayButton(Kind kind, std::string symbol, const QString& text, QWidget* parent = nullptr);

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] const Symbol& symbol() const { return symbol_; }
  // Chips only: the selected chip is drawn in the accent colour.
  void setSelected(bool selected);
  [[nodiscard]] bool isSelected() const { return selected_; }

  [[nodiscard]] QSize sizeHint() const override;
  [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  [[nodiscard]] double symbolSize() const;
  [[nodiscard]] QColor contentColor() const;
  [[nodiscard]] QColor backgroundColor() const;
  void paintFocusRing(QPainter& painter, const QRectF& box) const;

  Kind kind_;
  Symbol symbol_;
  bool selected_ = false;
  bool keyboardFocus_ = false;  // the focus ring shows only for focus reached by the keyboard
};

}  // namespace wrenfold
