#include "ui/overlay/overlay_key_handler.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace wrenfold {
namespace {

bool commandHeld(const QKeyEvent& event) {
  return event.modifiers().testFlag(Qt::ControlModifier);
}

bool anyCommandModifier(const QKeyEvent& event) {
  return (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != Qt::NoModifier;
}

}  // namespace

bool isTextInput(const QWidget* widget) {
  return qobject_cast<const QLineEdit*>(widget) != nullptr ||
         qobject_cast<const QTextEdit*>(widget) != nullptr ||
         qobject_cast<const QPlainTextEdit*>(widget) != nullptr;
}

bool isEditableTextInput(const QWidget* widget) {
  if (const auto* line = qobject_cast<const QLineEdit*>(widget)) {
    return !line->isReadOnly();
  }
  if (const auto* text = qobject_cast<const QTextEdit*>(widget)) {
    return !text->isReadOnly();
  }
  if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget)) {
    return !plain->isReadOnly();
  }
  return false;
}

OverlayKeyHandler::OverlayKeyHandler(OverlayViewModel& model, CopyText copyText)
    : model_(model), copyText_(std::move(copyText)) {}

bool OverlayKeyHandler::handleKeyDown(const QKeyEvent& event, bool editingText) {
  const int key = event.key();
  if (commandHeld(event) && key == Qt::Key_R) {
    model_.regenerate();  // also while typing
    return true;
  }
  if (editingText) {
    return false;
  }
  if (key == Qt::Key_Escape) {
    if (model_.onClose) {
      model_.onClose();
    }
    return true;
  }
  if (commandHeld(event) && key == Qt::Key_C) {
    if (auto selected = model_.selectedCandidate()) {
      copyText_(selected->text);
      return true;
    }
  }
  if (anyCommandModifier(event)) {
    return false;
  }
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return insertSelected();
    case Qt::Key_Down:
    case Qt::Key_Right:
      return model_.moveCandidateSelection(1);
    case Qt::Key_Up:
    case Qt::Key_Left:
      return model_.moveCandidateSelection(-1);
    default:
      return chooseByDigit(event.text());
  }
}

bool OverlayKeyHandler::insertSelected() {
  auto selected = model_.selectedCandidate();
  if (!selected) {
    return false;
  }
  if (model_.onInsert) {
    const std::string templateID = model_.selectedTemplateID();
    model_.onInsert(*selected, templateID);
  }
  return true;
}

bool OverlayKeyHandler::chooseByDigit(const QString& text) {
  if (text.size() != 1 || text[0] < QLatin1Char('1') || text[0] > QLatin1Char('9')) {
    return false;
  }
  return model_.chooseCandidate(text[0].digitValue() - 1);
}

}  // namespace wrenfold
