#pragma once

#include <QKeyEvent>
#include <functional>
#include <string>

#include "core/overlay/overlay_view_model.h"

class QWidget;

namespace wrenfold {

// Whether `widget` is a text input (a line edit or a text edit, editable or not): while one of
// the panel's has focus, it keeps most keys for itself.
[[nodiscard]] bool isTextInput(const QWidget* widget);
// Whether `widget` is a text input the user can type into (not a read-only text view).
[[nodiscard]] bool isEditableTextInput(const QWidget* widget);

// The panel's keyboard: arrows and digits move the selection, Return or keypad Enter inserts,
// Ctrl+C copies, Ctrl+R regenerates, Escape closes. Ctrl stands in for the Command key.
class OverlayKeyHandler {
 public:
  using CopyText = std::function<void(const std::string&)>;

  OverlayKeyHandler(OverlayViewModel& model, CopyText copyText);

  // True when the press was consumed (the focused control must not see it). `editingText` is
  // true while a text input of the panel has focus: then only Ctrl+R is taken from it.
  [[nodiscard]] bool handleKeyDown(const QKeyEvent& event, bool editingText);

 private:
  [[nodiscard]] bool insertSelected();
  [[nodiscard]] bool chooseByDigit(const QString& text);

  OverlayViewModel& model_;
  CopyText copyText_;
};

}  // namespace wrenfold
