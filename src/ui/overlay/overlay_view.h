#pragma once

// The content of the overlay panel, drawn from the OverlayViewModel: top to bottom the header,
// the template chips, the instruction editor, a scrolling area with the context, the pasted
// context and the phase's content, and the footer. Every control acts only through the model
// (its fields, `selectTemplate`, `regenerate`, `onInsert`, `onClose`) and the clipboard.

#include <QPropertyAnimation>
#include <QWidget>
#include <functional>
#include <optional>

#include "core/overlay/overlay_view_model.h"

class QScrollArea;

namespace wrenfold {

class CandidateList;
class ContextSection;
class ErrorStateView;
class InstructionEditor;
class ManualContextSection;
class OverlayFooter;
class OverlayHeader;
class ProgressStateView;
class TemplateChips;

class OverlayView final : public QWidget {
 public:
  static constexpr int kWidth = 560;
  static constexpr int kHeight = 540;
  static constexpr int kScrollMs = 150;

  explicit OverlayView(OverlayViewModel& model, QWidget* parent = nullptr);
  ~OverlayView() override;
  OverlayView(const OverlayView&) = delete;
  OverlayView& operator=(const OverlayView&) = delete;

  // Asked for by the error view's "打开设置"; the application opens the settings window.
  std::function<void()> onOpenSettings;

  // Takes keyboard focus away from the text fields and keeps it on the panel itself, so keys
  // reach the panel's key handling.
  void clearTextFocus();

  [[nodiscard]] OverlayHeader& header() { return *header_; }
  [[nodiscard]] TemplateChips& templateChips() { return *chips_; }
  [[nodiscard]] InstructionEditor& instructionEditor() { return *instruction_; }
  [[nodiscard]] QScrollArea& scrollArea() { return *scroll_; }
  [[nodiscard]] ContextSection& contextSection() { return *context_; }
  [[nodiscard]] ManualContextSection& manualContextSection() { return *manual_; }
  [[nodiscard]] ProgressStateView& progressState() { return *progress_; }
  [[nodiscard]] ErrorStateView& errorState() { return *error_; }
  [[nodiscard]] CandidateList& candidateList() { return *candidates_; }
  [[nodiscard]] OverlayFooter& footer() { return *footer_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* buildScrollContent();
  void connectControls();
  void refresh();
  void refreshPhase(bool busy);
  void scrollToSelection();
  void insert(const GeneratedCandidate& candidate);
  void styleScrollBar();

  OverlayViewModel& model_;
  Observable::Token listener_;
  OverlayHeader* header_;
  TemplateChips* chips_;
  InstructionEditor* instruction_;
  QScrollArea* scroll_;
  ContextSection* context_;
  ManualContextSection* manual_;
  ProgressStateView* progress_;
  ErrorStateView* error_;
  CandidateList* candidates_;
  OverlayFooter* footer_;
  QPropertyAnimation scrollAnimation_;
  bool wasBusy_ = false;
  std::optional<Uuid> shownSelection_;
};

}  // namespace wrenfold
