#include "ui/overlay/candidate_list.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/common/style.h"
#include "ui/common/tone_label.h"
#include "ui/overlay/candidate_row.h"

namespace wrenfold {

CandidateList::CandidateList(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(8);
  auto* caption = new ToneLabel(QStringLiteral("候选"), style::secondary, this);
  caption->setFont(style::medium(style::caption(font())));
  layout_->addWidget(caption);
}

void CandidateList::setCandidates(const std::vector<GeneratedCandidate>& candidates) {
  if (candidates == candidates_) {
    return;
  }
  candidates_ = candidates;
  rebuild();
}

void CandidateList::rebuild() {
  // Deferred: the row may be the one whose button press led here.
  for (CandidateRow* row : rows_) {
    row->hide();
    layout_->removeWidget(row);
    row->deleteLater();
  }
  rows_.clear();
  for (std::size_t i = 0; i < candidates_.size(); ++i) {
    auto* row = new CandidateRow(candidates_[i], static_cast<int>(i) + 1, this);
    row->setSelected(selectedID_ == candidates_[i].id);
    row->onSelect = [this, i] { act(onSelect, i); };
    row->onCopy = [this, i] { act(onCopy, i); };
    row->onInsert = [this, i] { act(onInsert, i); };
    layout_->addWidget(row);
    rows_.push_back(row);
  }
}

void CandidateList::act(const Action& action, std::size_t index) const {
  if (action && index < candidates_.size()) {
    const GeneratedCandidate candidate = candidates_[index];
    action(candidate);
  }
}

void CandidateList::setSelectedID(const std::optional<Uuid>& id) {
  selectedID_ = id;
  for (CandidateRow* row : rows_) {
    row->setSelected(id == row->candidate().id);
  }
}

CandidateRow* CandidateList::row(const Uuid& id) const {
  for (CandidateRow* row : rows_) {
    if (row->candidate().id == id) {
      return row;
    }
  }
  return nullptr;
}

}  // namespace wrenfold
