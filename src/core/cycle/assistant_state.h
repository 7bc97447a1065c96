#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/records/generated_candidate.h"

namespace wrenfold {

// The orchestrator's published cycle state. Only `ready` and `failed` carry a payload; equality
// compares the kind and the payloads (candidate lists element by element, ids included).
class AssistantState {
 public:
  enum class Kind {
    idle,
    resolvingTarget,
    readingContext,
    waitingForTemplate,  // declared for completeness: no cycle enters it
    generating,
    ready,
    failed,
  };

  AssistantState() = default;  // idle

  [[nodiscard]] static AssistantState idle() { return AssistantState(Kind::idle); }
  [[nodiscard]] static AssistantState resolvingTarget() { return AssistantState(Kind::resolvingTarget); }
  [[nodiscard]] static AssistantState readingContext() { return AssistantState(Kind::readingContext); }
  [[nodiscard]] static AssistantState waitingForTemplate() {
    return AssistantState(Kind::waitingForTemplate);
  }
  [[nodiscard]] static AssistantState generating() { return AssistantState(Kind::generating); }
  [[nodiscard]] static AssistantState ready(std::vector<GeneratedCandidate> candidates) {
    AssistantState state(Kind::ready);
    state.candidates_ = std::move(candidates);
    return state;
  }
  [[nodiscard]] static AssistantState failed(std::string message) {
    AssistantState state(Kind::failed);
    state.message_ = std::move(message);
    return state;
  }

  [[nodiscard]] Kind kind() const { return kind_; }
  // The parsed candidates of `ready`; empty in every other state.
  [[nodiscard]] const std::vector<GeneratedCandidate>& candidates() const { return candidates_; }
  // The user message of `failed`; empty in every other state.
  [[nodiscard]] const std::string& message() const { return message_; }

  bool operator==(const AssistantState&) const = default;

 private:
  explicit AssistantState(Kind kind) : kind_(kind) {}
  Kind kind_ = Kind::idle;
  std::vector<GeneratedCandidate> candidates_;
  std::string message_;
};

}  // namespace wrenfold
