#pragma once

#include <span>
#include <string>
#include <string_view>

namespace wrenfold {

// Hides secrets in text that leaves the machine, whatever stands around them (Chinese text,
// full-width punctuation, JSON, the text's ends). Each becomes "[REDACTED]": PEM and PGP
// private-key blocks (also when the text ends before their end line), well-known token forms
// (GitHub, OpenAI-style, Stripe, Google, Slack, AWS, JWT), the values of labelled credentials
// (API keys, authorization values, secrets and tokens, passwords, 密码, 口令), card numbers
// (Luhn-valid, with a card network's prefix, in a card grouping or beside a card word) with an
// expiry or CVV beside them, labelled CVVs, six-digit one-time codes, and any of the caller's
// known secrets (the configured API key) wherever it appears. Order, tracking and invoice
// numbers, postcodes, prices and prose after a label stay as written.
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
