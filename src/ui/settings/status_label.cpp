#include "ui/settings/status_label.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/common/symbol.h"

namespace wrenfold {

QColor successTone(const QPalette& palette) {
  return style::isDark(palette) ? QColor(48, 209, 88) : QColor(30, 140, 60);
}

SettingsSymbolView::SettingsSymbolView(std::string symbol, int size, ToneLabel::Tone initialTone,
                                       QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), size_(size), tone_(initialTone) {
  setFixedSize(size_, size_);
}

void SettingsSymbolView::setSymbol(std::string symbol) {
  symbol_ = std::move(symbol);
  update();
}

void SettingsSymbolView::setTone(ToneLabel::Tone newTone) {
  tone_ = newTone;
  update();
}

void SettingsSymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Symbol(symbol_).paint(painter, QRectF(rect()), tone_(palette()));
}

StatusLabel::StatusLabel(QWidget* parent) : QWidget(parent) {
  const QFont caption = style::caption(font());
  const int symbolSize = QFontMetrics(caption).height() - 2;
  symbol_ = new SettingsSymbolView({}, symbolSize, &style::primary, this);
  label_ = new QLabel(this);
  label_->setFont(caption);
  label_->setTextFormat(Qt::PlainText);  // failure messages quote paths and server text
  label_->setWordWrap(true);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  // The symbol, two pixels shorter than a line, sits centred on the first line of the text.
  auto* symbolColumn = new QVBoxLayout;
  symbolColumn->setContentsMargins(0, 1, 0, 0);
  symbolColumn->addWidget(symbol_);
  symbolColumn->addStretch(1);
  layout->addLayout(symbolColumn);
  layout->addWidget(label_, 1);
}

void StatusLabel::setContent(std::string symbol, const QString& text, ToneLabel::Tone textTone) {
  symbol_->setSymbol(std::move(symbol));
  symbol_->setTone(textTone);
  label_->setText(text);
  applyTextTone(*label_, textTone);
}

void StatusLabel::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    applyTextTone(*label_, symbol_->tone());
  }
}

}  // namespace wrenfold
