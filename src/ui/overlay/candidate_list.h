#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "core/records/generated_candidate.h"

class QVBoxLayout;

namespace wrenfold {

class CandidateRow;

// "候选": the candidates in order, numbered from 1, the selected one highlighted.
class CandidateList final : public QWidget {
 public:
  using Action = std::function<void(const GeneratedCandidate&)>;

  explicit CandidateList(QWidget* parent = nullptr);

  // Rebuilds the rows only when the list differs from the one shown (so a text selection in a
  // row survives unrelated changes).
  void setCandidates(const std::vector<GeneratedCandidate>& candidates);
  void setSelectedID(const std::optional<Uuid>& id);

  Action onSelect;
  Action onCopy;
  Action onInsert;

  [[nodiscard]] const std::vector<CandidateRow*>& rows() const { return rows_; }
  // The row of the candidate with `id`; null when there is none.
  [[nodiscard]] CandidateRow* row(const Uuid& id) const;

 private:
  void rebuild();
  // Hands the handler a copy: it may replace the list.
  void act(const Action& action, std::size_t index) const;

  std::vector<GeneratedCandidate> candidates_;
  std::optional<Uuid> selectedID_;
  std::vector<CandidateRow*> rows_;
  QVBoxLayout* layout_;
};

}  // namespace wrenfold
