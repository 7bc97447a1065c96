#include "ui/common/symbol_view.h"

#include <QPainter>

namespace wrenfold {

SymbolView::SymbolView(std::string symbol, std::function<QColor(const QPalette&)> color, int size,
                       QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), color_(std::move(color)) {
  setFixedSize(size, size);
}

void SymbolView::setSymbol(std::string symbol) {
  if (symbol != symbol_.name()) {
    symbol_ = Symbol(std::move(symbol));
    update();
  }
}

void SymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  symbol_.paint(painter, QRectF(rect()), color_(palette()));
}

}  // namespace wrenfold
