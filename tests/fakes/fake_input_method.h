#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/platform/input_method.h"

namespace wrenfold::testing {

// One input context as the addon would report it. A commit into a context that has the focus
// goes into its surrounding text where the program reports one, and runs `onCommit` (the
// program acting on it); every commit asked for is recorded.
class FakeInputMethod final : public InputMethod {
 public:
  [[nodiscard]] std::optional<std::uint64_t> rememberFocused() override {
    return context && context->focused ? std::optional<std::uint64_t>(kTicket) : std::nullopt;
  }
  [[nodiscard]] std::optional<InputContextState> state(std::uint64_t ticket) override {
    return ticket == kTicket ? context : std::nullopt;
  }
  [[nodiscard]] CommitResult commit(std::uint64_t ticket, std::string_view text) override {
    commits.emplace_back(text);
    if (ticket != kTicket || !context) {
      return CommitResult::gone;
    }
    if (context->refusesText || !context->focused) {
      return context->refusesText ? CommitResult::refused : CommitResult::unfocused;
    }
    if (context->surroundingText) {
      context->surroundingText->append(text);
    }
    if (onCommit) {
      onCommit(std::string(text));
    }
    return CommitResult::committed;
  }

  [[nodiscard]] InputMethodStatus status() override { return currentStatus; }

  // --- test interface
  InputMethodStatus currentStatus = InputMethodStatus::ready;
  static constexpr std::uint64_t kTicket = 7;
  std::optional<InputContextState> context;  // absent: gone
  std::function<void(const std::string&)> onCommit;
  std::vector<std::string> commits;
};

}  // namespace wrenfold::testing
