#include "ui/settings/permission_row.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/settings/status_label.h"

namespace wrenfold {
namespace {

constexpr int kIconSize = 20;

QLabel* quietLabel(const QString& text, const QFont& font, QWidget* parent) {
  auto* label = new ToneLabel(text, &style::secondary, parent);
  label->setFont(font);
  label->setWordWrap(true);
  return label;
}

}  // namespace

PermissionRow::PermissionRow(Content content, QWidget* parent)
    : QWidget(parent),
      icon_(new SettingsSymbolView(std::move(content.icon), kIconSize, &style::warning, this)),
      grant_(new StatusLabel(this)),
      explanation_(quietLabel({}, style::caption(font()), this)),
      action_(new QPushButton(content.actionTitle, this)) {
  auto* title = new QLabel(content.title, this);
  title->setFont(style::headline(font()));
  auto* titleLine = new QHBoxLayout;
  titleLine->setSpacing(8);
  titleLine->addWidget(title);
  titleLine->addWidget(grant_);
  titleLine->addStretch(1);

  explanation_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  explanation_->setVisible(false);
  auto* text = new QVBoxLayout;
  text->setSpacing(4);
  text->addLayout(titleLine);
  text->addWidget(quietLabel(content.description, style::subheadline(font()), this));
  text->addWidget(explanation_);

  // The small action button.
  action_->setFont(style::subheadline(font()));
  connect(action_, &QPushButton::clicked, this, [action = std::move(content.action)] {
    if (action) {
      action();
    }
  });

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(12);
  layout->addWidget(icon_, 0, Qt::AlignTop);
  layout->addLayout(text, 1);
  layout->addWidget(action_, 0, Qt::AlignTop);
  setGranted(false);
}

void PermissionRow::setGranted(bool granted) {
  isGranted_ = granted;
  icon_->setTone(granted ? &successTone : &style::warning);
  if (granted) {
    grant_->setContent("checkmark.circle.fill", QStringLiteral("已授权"), &successTone);
  } else {
    grant_->setContent("exclamationmark.circle.fill", QStringLiteral("需要授权"), &style::warning);
  }
}

void PermissionRow::setExplanation(const QString& text) {
  explanation_->setText(text);
  explanation_->setVisible(!text.isEmpty());
}

QString PermissionRow::grantLabel() const {
  return grant_->text();
}

QString PermissionRow::explanation() const {
  return explanation_->text();
}

}  // namespace wrenfold
