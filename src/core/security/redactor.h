#pragma once

#include <span>
#include <string>
#include <string_view>

namespace wrenfold {

// Hides secrets in text that leaves the machine. Each becomes "[REDACTED]": PEM and PGP
// private-key blocks (also when the text ends before their end line), well-known token forms
// (GitHub, OpenAI-style, Stripe, Google, Slack, AWS, JWT), labelled credentials (API keys,
// authorization values, secrets and tokens, passwords), card numbers (Luhn-valid, with a card
// network's prefix) with an expiry or CVV beside them, labelled CVVs, six-digit one-time codes,
// and any of the caller's known secrets (the configured API key) wherever it appears.
class Redactor {
 public:
  static constexpr std::string_view replacement = "[REDACTED]";
  // Shorter known secrets are too likely to be ordinary words ("local", "none").
  static constexpr std::size_t minimumKnownSecretLength = 8;

  // Applies the rules in order, each to the result of the previous one. Never fails.
  [[nodiscard]] static std::string redact(std::string_view text,
                                          std::span<const std::string> knownSecrets = {});
};

}  // namespace wrenfold
