#include "ui/overlay/manual_context_section.h"

#include <QAbstractTextDocumentLayout>
#include <QVBoxLayout>
#include <cmath>

#include "core/text/text.h"
#include "ui/overlay/disclosure_section.h"

namespace wrenfold {
namespace {

const QString kLabel = QStringLiteral("补充上下文");
const QString kPlaceholder = QStringLiteral("粘贴遗漏内容，生成时会补充到已读取的上下文");

}  // namespace

ManualContextField::ManualContextField(QWidget* parent) : QTextEdit(parent) {
  setAcceptRichText(false);
  setTabChangesFocus(true);
  setPlaceholderText(kPlaceholder);
  setAccessibleName(kLabel);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  QObject::connect(this, &QTextEdit::textChanged, this, [this] { fitHeight(); });
  fitHeight();
}

void ManualContextField::fitHeight() {
  document()->setTextWidth(viewport()->width());
  const double lines =
      document()->documentLayout()->documentSize().height() - 2 * document()->documentMargin();
  const int line = fontMetrics().lineSpacing();
  const int shown = std::clamp(static_cast<int>(std::ceil(lines)), kMinLines * line, kMaxLines * line);
  const int chrome = static_cast<int>(2 * document()->documentMargin()) + 2 * frameWidth();
  setFixedHeight(shown + chrome);
}

void ManualContextField::resizeEvent(QResizeEvent* event) {
  QTextEdit::resizeEvent(event);
  fitHeight();
}

ManualContextSection::ManualContextSection(QWidget* parent)
    : QWidget(parent),
      disclosure_(new DisclosureSection("plus.rectangle.on.rectangle", kLabel, this)),
      field_(new ManualContextField(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(disclosure_);
  disclosure_->body().addWidget(field_);
  QObject::connect(field_, &QTextEdit::textChanged, this, [this] {
    if (onEdited && !settingText_) {
      onEdited(field_->toPlainText().toStdString());
    }
  });
}

void ManualContextSection::setText(const std::string& text) {
  if (text == shown_) {
    return;
  }
  shown_ = text;
  const QString qtext = QString::fromStdString(text);
  if (field_->toPlainText() != qtext) {
    settingText_ = true;
    field_->setPlainText(qtext);
    settingText_ = false;
  }
  if (!text::isBlank(text)) {
    disclosure_->setExpanded(true);
  }
}

}  // namespace wrenfold
