#pragma once

#include <QWidget>
#include <functional>
#include <string>

class QLineEdit;

namespace wrenfold {

class OverlayButton;

// The "补充要求" line: the user's extra instruction and the regenerate button. The button and
// Return in the field both call `onRegenerate`.
class InstructionEditor final : public QWidget {
 public:
  explicit InstructionEditor(QWidget* parent = nullptr);

  // Shows the model's instruction unless the field already holds it (typing is not disturbed).
  void setInstruction(const std::string& instruction);
  void setCanGenerate(bool canGenerate);

  std::function<void(std::string)> onEdited;
  std::function<void()> onRegenerate;

  [[nodiscard]] QLineEdit& field() { return *field_; }
  [[nodiscard]] OverlayButton& regenerateButton() { return *regenerate_; }

 private:
  void regenerate();

  QLineEdit* field_;
  OverlayButton* regenerate_;
};

}  // namespace wrenfold
