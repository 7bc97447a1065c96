#pragma once

#include <QWidget>
#include <functional>

#include "core/records/generated_candidate.h"

namespace wrenfold {

class ElidedLabel;
class NumberBadge;
class OverlayButton;
class SelectableTextView;

// One numbered candidate: a badge with its number, its title, copy and insert buttons, and the
// text. A click anywhere selects it (it never inserts); assistive technologies see a list item
// with the selected state and a "选择" action.
class CandidateRow final : public QWidget {
  Q_OBJECT

 public:
  CandidateRow(const GeneratedCandidate& candidate, int number, QWidget* parent = nullptr);

  [[nodiscard]] const GeneratedCandidate& candidate() const { return candidate_; }
  [[nodiscard]] int number() const { return number_; }
  [[nodiscard]] bool isSelected() const { return selected_; }
  void setSelected(bool selected);

  std::function<void()> onSelect;
  std::function<void()> onCopy;
  std::function<void()> onInsert;

  [[nodiscard]] OverlayButton& copyButton() { return *copy_; }
  [[nodiscard]] OverlayButton& insertButton() { return *insert_; }
  [[nodiscard]] SelectableTextView& text() { return *text_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void select();

  GeneratedCandidate candidate_;
  int number_;
  bool selected_ = false;
  NumberBadge* badge_;
  OverlayButton* copy_;
  OverlayButton* insert_;
  SelectableTextView* text_;
};

}  // namespace wrenfold
