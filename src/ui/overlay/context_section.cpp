#include "ui/overlay/context_section.h"

#include <QAbstractTextDocumentLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "core/text/text.h"
#include "ui/common/style.h"
#include "ui/common/symbol_view.h"
#include "ui/common/tone_label.h"
#include "ui/overlay/disclosure_section.h"
#include "ui/overlay/screenshot_preview.h"

namespace wrenfold {
namespace {

constexpr double kRadius = 6;

}  // namespace

ContextDetailsView::ContextDetailsView(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setAcceptRichText(false);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setFocusPolicy(Qt::ClickFocus);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  setViewportMargins(kPadding, kPadding, kPadding, kPadding);
  document()->setDocumentMargin(0);
  setFont(style::caption(font()));
  viewport()->setAutoFillBackground(false);
  QPalette transparent = palette();
  transparent.setColor(QPalette::Base, Qt::transparent);
  setPalette(transparent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAccessibleName(QStringLiteral("查看上下文"));
  style::styleSlimScrollBar(*verticalScrollBar(), palette());
}

void ContextDetailsView::changeEvent(QEvent* event) {
  QTextEdit::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    style::styleSlimScrollBar(*verticalScrollBar(), palette());
  }
}

void ContextDetailsView::setText(const QString& text) {
  if (text != shown_) {
    shown_ = text;
    setPlainText(text);
    fitHeight();
  }
}

void ContextDetailsView::fitHeight() {
  document()->setTextWidth(viewport()->width());
  const double content = document()->documentLayout()->documentSize().height();
  const int wanted = static_cast<int>(std::ceil(content)) + 2 * kPadding;
  setFixedHeight(std::clamp(wanted, fontMetrics().lineSpacing() + 2 * kPadding, kMaxHeight));
}

void ContextDetailsView::resizeEvent(QResizeEvent* event) {
  QTextEdit::resizeEvent(event);
  fitHeight();
}

bool ContextDetailsView::event(QEvent* event) {
  // The backing covers the padding around the text too, so it is painted on the frame widget
  // rather than on the viewport.
  if (event->type() == QEvent::Paint) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath box;
    box.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    const QColor base = parentWidget() ? parentWidget()->palette().color(QPalette::Base) : QColor(Qt::white);
    painter.fillPath(box, style::withAlpha(base, 0.72));
  }
  return QTextEdit::event(event);
}

ContextSection::ContextSection(QWidget* parent)
    : QWidget(parent),
      disclosure_(new DisclosureSection("text.viewfinder", QStringLiteral("查看上下文"), this)),
      preview_(new ScreenshotPreview(this)),
      warningRow_(new QWidget(this)),
      warningText_(new ToneLabel(QString(), style::warning, warningRow_)),
      details_(new ContextDetailsView(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(disclosure_);

  auto* warningLayout = new QHBoxLayout(warningRow_);
  warningLayout->setContentsMargins(0, 0, 0, 0);
  warningLayout->setSpacing(5);
  const QFont caption = style::caption(font());
  auto* icon = new SymbolView("exclamationmark.triangle.fill", style::warning,
                              QFontMetrics(caption).height() - 2, warningRow_);
  warningLayout->addWidget(icon, 0, Qt::AlignTop);
  warningText_->setWordWrap(true);
  warningText_->setFont(caption);
  warningLayout->addWidget(warningText_, 1);

  disclosure_->body().addWidget(preview_);
  disclosure_->body().addWidget(warningRow_);
  disclosure_->body().addWidget(details_);
  preview_->hide();
  warningRow_->hide();
}

void ContextSection::setScreenshot(const std::optional<Image>& screenshot) {
  preview_->setVisible(preview_->setImage(screenshot));
}

void ContextSection::setWarning(const std::optional<std::string>& warning) {
  warningText_->setText(warning ? QString::fromStdString(*warning) : QString());
  warningRow_->setVisible(warning.has_value());
}

void ContextSection::setDetails(const std::string& details) {
  details_->setText(QString::fromStdString(details));
  details_->setVisible(!text::isBlank(details));
}

}  // namespace wrenfold
