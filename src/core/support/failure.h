#pragma once

#include <expected>
#include <memory>
#include <string>

namespace wrenfold {

// The cycle's closed set of failures is a record above this floor (core/records/assistant_error.h);
// a failure holds one without knowing the set, and the members that look inside it are defined
// with the set (core/records/assistant_error.cpp).
class AssistantError;
enum class AssistantErrorKind : int;

// A failure travelling as a value: either one of the closed set (AssistantError) or a
// platform failure (transport, decoding, file) that carries a Chinese localized description.
// Only the orchestrator turns one into a message for the user.
class Failure {
 public:
  Failure(AssistantError error);  // NOLINT: implicit by design

  [[nodiscard]] static Failure platform(std::string localizedDescription) {
    return Failure(std::move(localizedDescription));
  }

  // The AssistantError this failure is, or null for a platform failure.
  [[nodiscard]] const AssistantError* assistantError() const { return error_.get(); }
  [[nodiscard]] bool is(AssistantErrorKind kind) const;
  // The text the user sees: the error's own description, else the platform description.
  [[nodiscard]] std::string localizedDescription() const;

  bool operator==(const Failure& other) const;

 private:
  explicit Failure(std::string platformDescription) : platformDescription_(std::move(platformDescription)) {}
  std::shared_ptr<const AssistantError> error_;  // null for a platform failure; never changed
  std::string platformDescription_;
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
