#include "ui/overlay/selectable_text_view.h"

#include "ui/common/tone_label.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextOption>
#include <QWheelEvent>
#include <cmath>

namespace wrenfold {
namespace {

void configure(QTextDocument& document, const QFont& font) {
  document.setDocumentMargin(0);
  document.setDefaultFont(font);
  QTextOption option = document.defaultTextOption();
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  document.setDefaultTextOption(option);
}

}  // namespace

SelectableTextView::SelectableTextView(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setAcceptRichText(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse);
  setFocusPolicy(Qt::NoFocus);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setLineWrapMode(QTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  viewport()->setAutoFillBackground(false);
  setAutoFillBackground(false);
  QPalette transparent = palette();
  transparent.setColor(QPalette::Base, Qt::transparent);
  setPalette(transparent);
  configure(*document(), font());
  configure(measure_, font());
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

void SelectableTextView::setText(const QString& text) {
  if (text == shown_) {
    return;
  }
  shown_ = text;
  setPlainText(text);
  configure(*document(), font());
  measure_.setPlainText(text);
  updateGeometry();
}

void SelectableTextView::setTone(QColor (*tone)(const QPalette&)) {
  tone_ = tone;
  applyTextTone(*this, tone_);
}

void SelectableTextView::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (tone_ && (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)) {
    applyTextTone(*this, tone_);
  }
}

int SelectableTextView::heightForWidth(int width) const {
  measure_.setDefaultFont(font());
  measure_.setTextWidth(std::max(1, width));
  return static_cast<int>(std::ceil(measure_.size().height()));
}

QSize SelectableTextView::sizeHint() const {
  const int w = width() > 1 ? width() : 320;
  return {w, heightForWidth(w)};
}

QSize SelectableTextView::minimumSizeHint() const {
  return {0, fontMetrics().lineSpacing()};
}

void SelectableTextView::mousePressEvent(QMouseEvent* event) {
  if (onPressed) {
    onPressed();
  }
  QTextEdit::mousePressEvent(event);
}

void SelectableTextView::wheelEvent(QWheelEvent* event) {
  event->ignore();
}

void SelectableTextView::resizeEvent(QResizeEvent* event) {
  QTextEdit::resizeEvent(event);
  // Keep the top line in place: the view is always tall enough for all of its text.
  verticalScrollBar()->setValue(0);
}

}  // namespace wrenfold
