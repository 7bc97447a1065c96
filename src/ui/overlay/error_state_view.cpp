#include "ui/overlay/error_state_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/common/symbol_view.h"
#include "ui/common/tone_label.h"
#include "ui/overlay/overlay_button.h"
#include "ui/overlay/selectable_text_view.h"

namespace wrenfold {

ErrorStateView::ErrorStateView(QWidget* parent)
    : QWidget(parent),
      title_(new ToneLabel(QStringLiteral("无法生成候选"), style::warning, this)),
      message_(new SelectableTextView(this)),
      openSettings_(
          new OverlayButton(OverlayButton::Kind::bordered, std::string(), QStringLiteral("打开设置"), this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 6, 0, 6);
  column->setSpacing(8);

  const QFont heading = style::medium(style::subheadline(font()));
  auto* titleRow = new QHBoxLayout;
  titleRow->setSpacing(6);
  titleRow->addWidget(
      new SymbolView("exclamationmark.triangle.fill", style::warning, QFontMetrics(heading).height(), this));
  title_->setFont(heading);
  titleRow->addWidget(title_, 1);
  column->addLayout(titleRow);

  message_->setFont(style::subheadline(font()));
  message_->setTone(style::secondary);
  column->addWidget(message_);

  column->addWidget(openSettings_, 0, Qt::AlignLeft);
  QObject::connect(openSettings_, &QAbstractButton::clicked, this, [this] {
    if (onOpenSettings) {
      onOpenSettings();
    }
  });
}

void ErrorStateView::setMessage(const std::string& message) {
  message_->setText(QString::fromStdString(message));
}

}  // namespace wrenfold
