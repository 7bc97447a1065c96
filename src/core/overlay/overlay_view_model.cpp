#include "core/overlay/overlay_view_model.h"

#include <algorithm>

namespace wrenfold {
namespace {

bool acceptsGeneration(const OverlayPhase& phase) {
  const auto kind = phase.kind();
  return kind == OverlayPhase::Kind::idle || kind == OverlayPhase::Kind::ready ||
         kind == OverlayPhase::Kind::error;
}

}  // namespace

template <class T>
void OverlayViewModel::assign(T& field, T value) {
  if (field == value) {
    return;
  }
  field = std::move(value);
  notifyChanged();
}

void OverlayViewModel::setPhase(OverlayPhase phase) {
  assign(phase_, std::move(phase));
}
void OverlayViewModel::setTemplates(std::vector<PromptTemplate> templates) {
  assign(templates_, std::move(templates));
}
void OverlayViewModel::setSelectedTemplateID(std::string id) {
  assign(selectedTemplateID_, std::move(id));
}
void OverlayViewModel::setInstruction(std::string instruction) {
  assign(instruction_, std::move(instruction));
}
void OverlayViewModel::setManualContext(std::string manualContext) {
  assign(manualContext_, std::move(manualContext));
}
void OverlayViewModel::setContextSummary(std::string summary) {
  assign(contextSummary_, std::move(summary));
}
void OverlayViewModel::setContextDetails(std::string details) {
  assign(contextDetails_, std::move(details));
}
void OverlayViewModel::setContextScreenshot(std::optional<Image> screenshot) {
  assign(contextScreenshot_, std::move(screenshot));
}
void OverlayViewModel::setContextScreenshotWarning(std::optional<std::string> warning) {
  assign(contextScreenshotWarning_, std::move(warning));
}
void OverlayViewModel::setSelectedCandidateID(std::optional<Uuid> id) {
  assign(selectedCandidateID_, id);
}
void OverlayViewModel::setCandidates(std::vector<GeneratedCandidate> candidates) {
  assign(candidates_, std::move(candidates));
}

bool OverlayViewModel::canGenerate() const {
  return acceptsGeneration(phase_) && !templates_.empty();
}

void OverlayViewModel::selectTemplate(const PromptTemplate& tmpl) {
  if (tmpl.id == selectedTemplateID_) {
    return;
  }
  setSelectedTemplateID(tmpl.id);
  const auto kind = phase_.kind();
  if (kind == OverlayPhase::Kind::ready || kind == OverlayPhase::Kind::error) {
    regenerate();
  }
}

void OverlayViewModel::regenerate() {
  if (!acceptsGeneration(phase_) || templates_.empty() || !onGenerate) {
    return;
  }
  setPhase(OverlayPhase::generating());
  setCandidates({});
  setSelectedCandidateID(std::nullopt);
  // Copies: the callback may change the fields it is handed.
  const std::string templateID = selectedTemplateID_;
  const std::string instruction = instruction_;
  const std::string manualContext = manualContext_;
  onGenerate(templateID, instruction, manualContext);
}

std::optional<GeneratedCandidate> OverlayViewModel::selectedCandidate() const {
  if (phase_.kind() != OverlayPhase::Kind::ready) {
    return std::nullopt;
  }
  if (selectedCandidateID_) {
    auto it = std::ranges::find_if(candidates_, [&](const auto& c) { return c.id == *selectedCandidateID_; });
    if (it != candidates_.end()) {
      return *it;
    }
  }
  if (candidates_.empty()) {
    return std::nullopt;
  }
  return candidates_.front();
}

bool OverlayViewModel::chooseCandidate(long index) {
  if (phase_.kind() != OverlayPhase::Kind::ready) {
    return false;
  }
  if (index < 0 || static_cast<std::size_t>(index) >= candidates_.size()) {
    return false;
  }
  setSelectedCandidateID(candidates_[static_cast<std::size_t>(index)].id);
  return true;
}

bool OverlayViewModel::moveCandidateSelection(int step) {
  if (phase_.kind() != OverlayPhase::Kind::ready || candidates_.empty() || step == 0) {
    return false;
  }
  const long count = static_cast<long>(candidates_.size());
  long current = step > 0 ? -1 : 0;
  if (selectedCandidateID_) {
    auto it = std::ranges::find_if(candidates_, [&](const auto& c) { return c.id == *selectedCandidateID_; });
    if (it != candidates_.end()) {
      current = it - candidates_.begin();
    }
  }
  // Wraps at both ends; the extra `count` keeps the left operand non-negative for any step.
  const long next = ((current + step) % count + count) % count;
  setSelectedCandidateID(candidates_[static_cast<std::size_t>(next)].id);
  return true;
}

}  // namespace wrenfold
