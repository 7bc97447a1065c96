#pragma once

#include <string>

#include "core/support/failure.h"

namespace wrenfold {

enum class AssistantErrorKind : int {
  network,
  unsafeTarget,
  unknown,
  accessibilityNotTrusted,
  targetUnavailable,
  contextUnavailable,
  missingAPIKey,
  invalidModelResponse,
};

// The closed set of failures a stage of the cycle may raise, each with the message the
// overlay shows.
class AssistantError {
 public:
  using Kind = AssistantErrorKind;

  [[nodiscard]] static AssistantError network(std::string message) {
    return {Kind::network, std::move(message)};
  }
  [[nodiscard]] static AssistantError unsafeTarget(std::string reason) {
    return {Kind::unsafeTarget, std::move(reason)};
  }
  [[nodiscard]] static AssistantError unknown(std::string message) {
    return {Kind::unknown, std::move(message)};
  }
  [[nodiscard]] static AssistantError accessibilityNotTrusted() {
    return {Kind::accessibilityNotTrusted, {}};
  }
  [[nodiscard]] static AssistantError targetUnavailable() { return {Kind::targetUnavailable, {}}; }
  // `note` (why a source was left out, such as a skipped clipboard) follows the message.
  [[nodiscard]] static AssistantError contextUnavailable(std::string note = {}) {
    return {Kind::contextUnavailable, std::move(note)};
  }
  [[nodiscard]] static AssistantError missingAPIKey() { return {Kind::missingAPIKey, {}}; }
  [[nodiscard]] static AssistantError invalidModelResponse() { return {Kind::invalidModelResponse, {}}; }

  [[nodiscard]] Kind kind() const { return kind_; }
  // The message string of network, the reason of unsafeTarget, the text of unknown, the note of
  // contextUnavailable; empty otherwise.
  [[nodiscard]] const std::string& payload() const { return payload_; }
  // The user message, exactly as the overlay shows it.
  [[nodiscard]] std::string errorDescription() const;

  bool operator==(const AssistantError&) const = default;

 private:
  AssistantError(Kind kind, std::string payload) : kind_(kind), payload_(std::move(payload)) {}
  Kind kind_;
  std::string payload_;
};

}  // namespace wrenfold
