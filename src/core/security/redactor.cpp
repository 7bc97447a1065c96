#include "core/security/redactor.h"

#include <array>

#include "core/text/regex.h"

namespace wrenfold {

namespace {

using text::Regex;

// A label ("api_key", "Authorization", "bearer"), ":" or "=", then the value up to a quote or
// white space. The label may be quoted as in JSON ("apiKey": "..."). An authorization value is a
// scheme word and the credentials after it, so the credentials after "Bearer " or "Basic " on
// the same line belong to the match too.
constexpr std::string_view credentialPattern =
    R"((?i)(api[_-]?key|authorization|bearer)['"]?\s*[:=]\s*['"]?(?:(?:bearer|basic)[ \t]+)?[^'"\s]+)";

// Six digits alone: ICU's \b treats CJK letters as word characters, so "码123456" is kept.
constexpr std::string_view oneTimeCodePattern = R"(\b\d{6}\b)";

// PEM private keys, typed ("RSA PRIVATE KEY") or PKCS#8 ("PRIVATE KEY"), to the nearest end line.
constexpr std::string_view privateKeyPattern =
    R"(-----BEGIN (?:[A-Z ]+ )?PRIVATE KEY-----[\s\S]+?-----END (?:[A-Z ]+ )?PRIVATE KEY-----)";

const std::array<Regex, 3>& patterns() {
  // Compiled once, thread-safely, on first use; only read afterwards.
  static const std::array<Regex, 3> compiled{Regex::literal(credentialPattern),
                                             Regex::literal(oneTimeCodePattern),
                                             Regex::literal(privateKeyPattern)};
  return compiled;
}

}  // namespace

std::string Redactor::redact(std::string_view text) {
  std::string result(text);
  for (const Regex& pattern : patterns()) {
    result = pattern.replaceAll(result, replacement);
  }
  return result;
}

}  // namespace wrenfold
