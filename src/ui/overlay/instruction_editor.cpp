#include "ui/overlay/instruction_editor.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/overlay/overlay_button.h"

namespace wrenfold {
namespace {

const QString kCaption = QStringLiteral("补充要求");
const QString kRegenerate = QStringLiteral("重新生成");
// Ctrl stands in for the Command key on this desktop.
const QString kRegenerateTip = QStringLiteral("使用当前补充要求重新生成 (Ctrl+R)");
const QString kPlaceholder = QStringLiteral("例如：语气更坚定，控制在两句话内");

}  // namespace

InstructionEditor::InstructionEditor(QWidget* parent)
    : QWidget(parent),
      field_(new QLineEdit(this)),
      regenerate_(new OverlayButton(OverlayButton::Kind::bordered, "arrow.clockwise", kRegenerate, this)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(14, 14, 14, 14);
  column->setSpacing(7);

  auto* line = new QHBoxLayout;
  auto* caption = new QLabel(kCaption, this);
  caption->setFont(style::medium(style::caption(font())));
  caption->setBuddy(field_);
  line->addWidget(caption);
  line->addStretch(1);
  regenerate_->setToolTip(kRegenerateTip);
  line->addWidget(regenerate_);
  column->addLayout(line);

  field_->setPlaceholderText(kPlaceholder);
  field_->setAccessibleName(kCaption);
  field_->setClearButtonEnabled(false);
  column->addWidget(field_);

  QObject::connect(field_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (onEdited) {
      onEdited(text.toStdString());
    }
  });
  QObject::connect(field_, &QLineEdit::returnPressed, this, [this] { regenerate(); });
  QObject::connect(regenerate_, &QAbstractButton::clicked, this, [this] { regenerate(); });
}

void InstructionEditor::setInstruction(const std::string& instruction) {
  const QString text = QString::fromStdString(instruction);
  if (field_->text() != text) {
    field_->setText(text);
  }
}

void InstructionEditor::setCanGenerate(bool canGenerate) {
  regenerate_->setEnabled(canGenerate);
}

void InstructionEditor::regenerate() {
  if (onRegenerate) {
    onRegenerate();
  }
}

}  // namespace wrenfold
