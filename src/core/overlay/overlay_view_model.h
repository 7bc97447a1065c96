#pragma once

// The observable state behind the floating overlay: phase, template selection, the user's
// instruction and pasted context, the context summary, and the candidates with their
// selection. It never talks to a service; it hands requests out through three callbacks that
// the orchestrator installs. Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/records/generated_candidate.h"
#include "core/records/image.h"
#include "core/support/observable.h"
#include "core/support/uuid.h"
#include "core/templates/prompt_template.h"

namespace wrenfold {

class OverlayPhase {
 public:
  enum class Kind { idle, reading, generating, ready, error };

  [[nodiscard]] static OverlayPhase idle() { return OverlayPhase(Kind::idle); }
  [[nodiscard]] static OverlayPhase reading() { return OverlayPhase(Kind::reading); }
  [[nodiscard]] static OverlayPhase generating() { return OverlayPhase(Kind::generating); }
  // `moreComing`: the reply is still being written; these are the candidates complete so far.
  [[nodiscard]] static OverlayPhase ready(std::vector<GeneratedCandidate> candidates,
                                          bool moreComing = false) {
    OverlayPhase p(Kind::ready);
    p.candidates_ = std::move(candidates);
    p.moreComing_ = moreComing;
    return p;
  }
  [[nodiscard]] static OverlayPhase error(std::string message) {
    OverlayPhase p(Kind::error);
    p.message_ = std::move(message);
    return p;
  }

  [[nodiscard]] Kind kind() const { return kind_; }
  [[nodiscard]] const std::vector<GeneratedCandidate>& candidates() const { return candidates_; }
  [[nodiscard]] const std::string& message() const { return message_; }
  [[nodiscard]] bool moreComing() const { return moreComing_; }

  bool operator==(const OverlayPhase&) const = default;

 private:
  explicit OverlayPhase(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::vector<GeneratedCandidate> candidates_;
  std::string message_;
  bool moreComing_ = false;
};

class OverlayViewModel : public Observable {
 public:
  using GenerateCallback = std::function<void(const std::string& templateID, const std::string& instruction,
                                              const std::string& manualContext)>;
  using InsertCallback =
      std::function<void(const GeneratedCandidate& candidate, const std::string& templateID)>;
  using CloseCallback = std::function<void()>;

  OverlayViewModel() = default;

  // Published fields: read them freely; change them through the setters so listeners hear.
  [[nodiscard]] const OverlayPhase& phase() const { return phase_; }
  [[nodiscard]] const std::vector<PromptTemplate>& templates() const { return templates_; }
  [[nodiscard]] const std::string& selectedTemplateID() const { return selectedTemplateID_; }
  [[nodiscard]] const std::string& instruction() const { return instruction_; }
  [[nodiscard]] const std::string& manualContext() const { return manualContext_; }
  [[nodiscard]] const std::string& contextSummary() const { return contextSummary_; }
  [[nodiscard]] const std::string& contextDetails() const { return contextDetails_; }
  [[nodiscard]] const std::optional<Image>& contextScreenshot() const { return contextScreenshot_; }
  [[nodiscard]] const std::optional<std::string>& contextScreenshotWarning() const {
    return contextScreenshotWarning_;
  }
  [[nodiscard]] const std::optional<Uuid>& selectedCandidateID() const { return selectedCandidateID_; }
  [[nodiscard]] const std::vector<GeneratedCandidate>& candidates() const { return candidates_; }

  void setPhase(OverlayPhase phase);
  void setTemplates(std::vector<PromptTemplate> templates);
  void setSelectedTemplateID(std::string id);
  void setInstruction(std::string instruction);
  void setManualContext(std::string manualContext);
  void setContextSummary(std::string summary);
  void setContextDetails(std::string details);
  void setContextScreenshot(std::optional<Image> screenshot);
  void setContextScreenshotWarning(std::optional<std::string> warning);
  void setSelectedCandidateID(std::optional<Uuid> id);
  void setCandidates(std::vector<GeneratedCandidate> candidates);

  // Callbacks, installed by the orchestrator; not published.
  GenerateCallback onGenerate;
  InsertCallback onInsert;
  CloseCallback onClose;

  // True in idle, ready or error with at least one template.
  [[nodiscard]] bool canGenerate() const;
  // Changes the selection; in ready or error it also regenerates.
  void selectTemplate(const PromptTemplate& tmpl);
  // Asks for a new generation with the current selection, instruction and pasted context.
  void regenerate();
  // The selected candidate in ready (the first when the selection is stale), else absent.
  [[nodiscard]] std::optional<GeneratedCandidate> selectedCandidate() const;
  // Selects the candidate at `index` in ready; false when out of range.
  bool chooseCandidate(long index);
  // Moves the selection by `step`, wrapping at both ends; false when nothing can move.
  bool moveCandidateSelection(int step);

 private:
  template <class T>
  void assign(T& field, T value);

  OverlayPhase phase_ = OverlayPhase::idle();
  std::vector<PromptTemplate> templates_;
  std::string selectedTemplateID_ = "reply.quick";
  std::string instruction_;
  std::string manualContext_;
  std::string contextSummary_;
  std::string contextDetails_;
  std::optional<Image> contextScreenshot_;
  std::optional<std::string> contextScreenshotWarning_;
  std::optional<Uuid> selectedCandidateID_;
  std::vector<GeneratedCandidate> candidates_;
};

}  // namespace wrenfold
