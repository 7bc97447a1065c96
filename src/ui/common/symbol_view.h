#pragma once

#include <QColor>
#include <QWidget>
#include <functional>
#include <string>

#include "ui/common/symbol.h"

namespace wrenfold {

// A symbol on its own, beside a text. Decorative: the text next to it carries the meaning.
class SymbolView final : public QWidget {
 public:
  // `color` is asked at paint time so the symbol follows palette changes.
  SymbolView(std::string symbol, std::function<QColor(const QPalette&)> color, int size,
             QWidget* parent = nullptr);

  void setSymbol(std::string symbol);
  [[nodiscard]] const Symbol& symbol() const { return symbol_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Symbol symbol_;
  std::function<QColor(const QPalette&)> color_;
};

}  // namespace wrenfold
