#include "ui/settings/settings_form_group.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/common/divider.h"
#include "ui/common/style.h"
#include "ui/common/tone_label.h"

namespace wrenfold {
namespace {

constexpr int kPanelPadding = 12;
constexpr int kRowSpacing = 9;
constexpr double kCornerRadius = 8;
// Wide enough for the longest label, so fields line up from one group to the next.
constexpr int kLabelColumnWidth = 96;

// The panel: a faint fill against the window and a hairline outline, rounded.
class GroupPanel final : public QFrame {
 public:
  explicit GroupPanel(QWidget* parent) : QFrame(parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& p = palette();
    const QColor fill =
        style::isDark(p) ? style::withAlpha(Qt::white, 0.05) : style::withAlpha(Qt::black, 0.03);
    painter.setPen(QPen(style::hairline(p), 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius, kCornerRadius);
  }
};

}  // namespace

SettingsFormGroup::SettingsFormGroup(QWidget* parent)
    : QWidget(parent),
      outer_(new QVBoxLayout(this)),
      panel_(new GroupPanel(this)),
      rows_(new QGridLayout(panel_)) {
  outer_->setContentsMargins(0, 0, 0, 0);
  outer_->setSpacing(8);
  outer_->addWidget(panel_);
  rows_->setContentsMargins(kPanelPadding, kPanelPadding - 3, kPanelPadding, kPanelPadding - 3);
  rows_->setHorizontalSpacing(16);
  rows_->setVerticalSpacing(kRowSpacing);
  rows_->setColumnStretch(1, 1);
  rows_->setColumnMinimumWidth(0, kLabelColumnWidth);
}

void SettingsFormGroup::setHeader(QWidget* header) {
  header->setParent(this);
  outer_->insertWidget(0, header);
}

void SettingsFormGroup::setCaption(const QString& caption) {
  auto* label = new ToneLabel(caption, &style::secondary, this);
  label->setFont(style::medium(style::subheadline(font())));
  label->setContentsMargins(4, 0, 0, 0);
  setHeader(label);
}

void SettingsFormGroup::addRow(const QString& label, QWidget* field) {
  addSeparatorIfNeeded();
  placeLabel(label);
  rows_->addWidget(field, rowCount_, 1);
  ++rowCount_;
}

void SettingsFormGroup::addRow(const QString& label, QLayout* field) {
  addSeparatorIfNeeded();
  placeLabel(label);
  rows_->addLayout(field, rowCount_, 1);
  ++rowCount_;
}

void SettingsFormGroup::addSeparatorIfNeeded() {
  if (rowCount_ == 0) {
    return;
  }
  rows_->addWidget(new Divider(panel_), rowCount_, 0, 1, 2);
  ++rowCount_;
}

void SettingsFormGroup::placeLabel(const QString& label) {
  if (!label.isEmpty()) {
    rows_->addWidget(new QLabel(label, panel_), rowCount_, 0, Qt::AlignLeft | Qt::AlignVCenter);
  }
}

}  // namespace wrenfold
