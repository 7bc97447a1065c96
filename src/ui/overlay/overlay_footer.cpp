#include "ui/overlay/overlay_footer.h"

#include <QHBoxLayout>
#include <QLabel>

#include "ui/common/style.h"
#include "ui/common/tone_label.h"
#include "ui/overlay/busy_indicator.h"
#include "ui/overlay/overlay_button.h"

namespace wrenfold {

OverlayFooter::OverlayFooter(QWidget* parent)
    : QWidget(parent),
      hint_(new ToneLabel(QStringLiteral("方向键切换 · ↩ 填入"), style::secondary, this)),
      copy_(new OverlayButton(OverlayButton::Kind::borderless, "doc.on.doc", QString(), this)),
      insert_(new OverlayButton(OverlayButton::Kind::prominent, "text.insert", QStringLiteral("填入"), this)),
      busy_(new BusyIndicator(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(14, 10, 14, 10);
  row->setSpacing(10);

  hint_->setFont(style::caption(font()));
  row->addWidget(hint_);
  row->addStretch(1);

  copy_->setToolTip(QStringLiteral("复制所选候选"));
  copy_->setAccessibleName(QStringLiteral("复制所选候选"));
  insert_->setToolTip(QStringLiteral("填入所选候选"));
  row->addWidget(copy_);
  row->addWidget(insert_);
  row->addWidget(busy_);
  // Both forms keep the same height, so the panel's content does not jump between them.
  setMinimumHeight(insert_->sizeHint().height() + 20);

  QObject::connect(copy_, &QAbstractButton::clicked, this, [this] {
    if (onCopy) {
      onCopy();
    }
  });
  QObject::connect(insert_, &QAbstractButton::clicked, this, [this] {
    if (onInsert) {
      onInsert();
    }
  });
  setState(false, false);
}

void OverlayFooter::setState(bool hasSelection, bool busy) {
  hint_->setVisible(hasSelection);
  copy_->setVisible(hasSelection);
  insert_->setVisible(hasSelection);
  busy_->setVisible(!hasSelection && busy);
}

}  // namespace wrenfold
