#pragma once

#include <expected>
#include <string>
#include <variant>

#include "core/cycle/assistant_error.h"

namespace wrenfold {

// A failure travelling as a value: either one of the closed set (AssistantError) or a
// platform failure (transport, decoding, file) that carries a Chinese localized description.
// Only the orchestrator turns one into a message for the user.
class Failure {
 public:
  Failure(AssistantError error) : value_(std::move(error)) {}  // NOLINT: implicit by design

  [[nodiscard]] static Failure platform(std::string localizedDescription) {
    return Failure(Platform{std::move(localizedDescription)});
  }

  // The AssistantError this failure is, or null for a platform failure.
  [[nodiscard]] const AssistantError* assistantError() const { return std::get_if<AssistantError>(&value_); }
  [[nodiscard]] bool is(AssistantError::Kind kind) const {
    const auto* e = assistantError();
    return e != nullptr && e->kind() == kind;
  }
  // The text the user sees: the error's own description, else the platform description.
  [[nodiscard]] std::string localizedDescription() const;

  bool operator==(const Failure&) const = default;

 private:
  struct Platform {
    std::string description;
    bool operator==(const Platform&) const = default;
  };
  explicit Failure(Platform p) : value_(std::move(p)) {}
  std::variant<AssistantError, Platform> value_;
};

template <class T>
using Result = std::expected<T, Failure>;

// Shorthand for returning a failure from a function that returns Result<T>.
[[nodiscard]] inline std::unexpected<Failure> fail(Failure f) {
  return std::unexpected<Failure>(std::move(f));
}
[[nodiscard]] inline std::unexpected<Failure> failPlatform(std::string description) {
  return std::unexpected<Failure>(Failure::platform(std::move(description)));
}

}  // namespace wrenfold
