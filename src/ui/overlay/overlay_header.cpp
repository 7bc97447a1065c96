#include "ui/overlay/overlay_header.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "ui/brand/brand_icon.h"
#include "ui/common/style.h"
#include "ui/overlay/elided_label.h"
#include "ui/overlay/overlay_button.h"

namespace wrenfold {
namespace {

const QString kPreparingTitle = QStringLiteral("准备当前上下文");
const QString kCapturedTitle = QStringLiteral("已捕获当前上下文");
const QString kClose = QStringLiteral("关闭");

}  // namespace

OverlayHeader::OverlayHeader(QWidget* parent)
    : QWidget(parent),
      iconSlot_(new QSpacerItem(kIconSize, kIconSize, QSizePolicy::Fixed, QSizePolicy::Fixed)),
      title_(new QLabel(kPreparingTitle, this)),
      summary_(new ElidedLabel(style::secondary, this)),
      close_(new OverlayButton(OverlayButton::Kind::borderless, "xmark", QString(), this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 12, 16, 12);
  row->setSpacing(9);
  row->addSpacerItem(iconSlot_);
  row->addSpacing(9);  // box layouts put no spacing after a spacer item

  auto* titles = new QVBoxLayout;
  titles->setSpacing(1);
  title_->setTextFormat(Qt::PlainText);
  title_->setFont(style::headline(font()));
  summary_->setFont(style::caption(font()));
  summary_->hide();
  titles->addWidget(title_);
  titles->addWidget(summary_);
  row->addLayout(titles, 1);

  close_->setToolTip(kClose);
  close_->setAccessibleName(kClose);
  row->addWidget(close_, 0, Qt::AlignVCenter);
  QObject::connect(close_, &QAbstractButton::clicked, this, [this] {
    if (onClose) {
      onClose();
    }
  });
}

void OverlayHeader::setSummary(const std::string& summary) {
  const bool captured = !summary.empty();
  title_->setText(captured ? kCapturedTitle : kPreparingTitle);
  summary_->setFullText(QString::fromStdString(summary));
  summary_->setVisible(captured);
}

void OverlayHeader::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect slot = iconSlot_->geometry();
  const QRectF square(slot.x(), slot.center().y() - kIconSize / 2.0 + 0.5, kIconSize, kIconSize);
  BrandIcon::paint(painter, square, style::accent(palette()));
}

}  // namespace wrenfold
