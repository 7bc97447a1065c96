#include "ui/overlay/progress_state_view.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/common/style.h"
#include "ui/common/symbol_view.h"

namespace wrenfold {

ProgressStateView::ProgressStateView(QWidget* parent)
    : QWidget(parent),
      symbol_(new SymbolView("text.viewfinder", style::secondary, fontMetrics().height(), this)),
      text_(new QLabel(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 10, 0, 10);
  row->setSpacing(8);
  text_->setTextFormat(Qt::PlainText);
  row->addWidget(symbol_);
  row->addWidget(text_, 1);
}

void ProgressStateView::setContent(const QString& text, std::string symbol) {
  text_->setText(text);
  symbol_->setSymbol(std::move(symbol));
}

}  // namespace wrenfold
