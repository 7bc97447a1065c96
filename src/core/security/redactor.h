#pragma once

#include <string>
#include <string_view>

namespace wrenfold {

// Hides secrets in text that leaves the machine: API keys and authorization values, six-digit
// one-time codes and PEM private-key blocks each become "[REDACTED]".
class Redactor {
 public:
  static constexpr std::string_view replacement = "[REDACTED]";

  // Applies the patterns in order, each to the result of the previous one. Never fails.
  [[nodiscard]] static std::string redact(std::string_view text);
};

}  // namespace wrenfold
