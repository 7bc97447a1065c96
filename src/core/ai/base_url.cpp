#include "core/ai/base_url.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "core/records/assistant_error.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

// ---- URL syntax (RFC 3986) ----

bool isUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}
bool isSubDelimiter(char c) {
  return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}
bool isPathCharacter(char c) {
  return isUnreserved(c) || isSubDelimiter(c) || c == ':' || c == '@' || c == '/';
}
bool isQueryCharacter(char c) {
  return isPathCharacter(c) || c == '?';
}
bool isUserInfoCharacter(char c) {
  return isUnreserved(c) || isSubDelimiter(c) || c == ':';
}
bool isHostCharacter(char c) {
  return isUnreserved(c) || isSubDelimiter(c);
}
bool isIPLiteralCharacter(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0 || c == ':' || c == '.';
}
bool isHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// Every character is allowed or part of a well-formed %XX escape.
bool isWellFormed(std::string_view text, bool (*allowed)(char)) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%') {
      if (i + 2 >= text.size() || !isHexDigit(text[i + 1]) || !isHexDigit(text[i + 2])) {
        return false;
      }
      i += 2;
    } else if (!allowed(text[i])) {
      return false;
    }
  }
  return true;
}

std::string percentEncoded(std::string_view text, bool (*allowed)(char)) {
  static constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    if (allowed(c)) {
      out += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

bool isHttpScheme(std::string_view scheme) {
  const std::string lower = text::lowercased(scheme);
  return lower == "http" || lower == "https";
}

bool isValidPort(std::string_view port) {
  if (port.empty()) {
    return true;
  }
  unsigned value = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
  return error == std::errc() && end == port.data() + port.size() && value <= 65535;
}

// [userinfo "@"] host [":" port], with a non-empty host.
bool isValidAuthority(std::string_view authority) {
  if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
    if (!isWellFormed(authority.substr(0, at), isUserInfoCharacter)) {
      return false;
    }
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  std::string_view port;
  if (authority.starts_with('[')) {
    const auto close = authority.find(']');
    if (close == std::string_view::npos || close == 1) {
      return false;
    }
    host = authority.substr(1, close - 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && !after.starts_with(':')) {
      return false;
    }
    port = after.empty() ? after : after.substr(1);
    if (!std::all_of(host.begin(), host.end(), isIPLiteralCharacter)) {
      return false;
    }
  } else {
    if (const auto colon = authority.find(':'); colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
    }
    if (host.empty() || !isWellFormed(host, isHostCharacter)) {
      return false;
    }
  }
  return isValidPort(port);
}

std::string_view trimmedSlashes(std::string_view text) {
  const auto first = text.find_first_not_of('/');
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of('/') - first + 1);
}

}  // namespace

Result<BaseURL> BaseURL::parse(std::string_view typed, std::string_view fallback) {
  const auto invalid = [] {
    return fail(AssistantError::network(std::string(service_url::kInvalidBaseURL)));
  };
  std::string trimmed = text::trim(typed);
  if (trimmed.empty() && !fallback.empty()) {
    trimmed = fallback;
  }
  std::string_view rest = trimmedSlashes(trimmed);

  BaseURL url;
  const auto colon = rest.find(':');
  if (colon == std::string_view::npos || colon > rest.find_first_of("/?#")) {
    return invalid();
  }
  url.scheme_ = rest.substr(0, colon);
  rest.remove_prefix(colon + 1);
  if (!isHttpScheme(url.scheme_) || !rest.starts_with("//")) {
    return invalid();
  }
  rest.remove_prefix(2);
  const auto authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
  url.authority_ = rest.substr(0, authorityEnd);
  rest.remove_prefix(authorityEnd);
  if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment_ = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  if (const auto question = rest.find('?'); question != std::string_view::npos) {
    url.query_ = rest.substr(question + 1);
    rest = rest.substr(0, question);
  }
  url.path_ = rest;
  if (!isValidAuthority(url.authority_) || !isWellFormed(url.path_, isPathCharacter) ||
      !isWellFormed(url.query_.value_or(""), isQueryCharacter) ||
      !isWellFormed(url.fragment_.value_or(""), isQueryCharacter)) {
    return invalid();
  }
  return url;
}

void BaseURL::setPath(std::string_view text) {
  path_ = percentEncoded(text, isPathCharacter);
}

void BaseURL::appendToPath(std::string_view text) {
  path_ += percentEncoded(text, isPathCharacter);
}

void BaseURL::appendQueryItem(std::string_view name, std::string_view value) {
  const std::string item = percentEncoded(name, isUnreserved) + "=" + percentEncoded(value, isUnreserved);
  query_ = query_ && !query_->empty() ? *query_ + "&" + item : item;
}

std::string BaseURL::string() const {
  std::string out = scheme_ + "://" + authority_ + path_;
  if (query_) {
    out += "?" + *query_;
  }
  if (fragment_) {
    out += "#" + *fragment_;
  }
  return out;
}

std::string BaseURL::scheme() const {
  return text::lowercased(scheme_);
}

std::string BaseURL::host() const {
  std::string_view host = authority_;
  if (const auto at = host.rfind('@'); at != std::string_view::npos) {
    host.remove_prefix(at + 1);
  }
  if (host.starts_with('[')) {
    host = host.substr(1, host.find(']') - 1);
  } else if (const auto colon = host.find(':'); colon != std::string_view::npos) {
    host = host.substr(0, colon);
  }
  return text::lowercased(host);
}

}  // namespace wrenfold
