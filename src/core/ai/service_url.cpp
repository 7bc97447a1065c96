#include "core/ai/service_url.h"

#include <algorithm>
#include <cctype>
#include <charconv>

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

std::string_view lastSegment(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool isDigits(std::string_view s) {
  return !s.empty() && std::ranges::all_of(s, [](char c) { return c >= '0' && c <= '9'; });
}

// "v" + digits, optionally "alpha" or "beta" and more digits: v1, v1beta, v2alpha1.
bool isVersionSegment(std::string_view segment) {
  if (!segment.starts_with('v')) {
    return false;
  }
  segment.remove_prefix(1);
  const auto digitsEnd = std::min(segment.find_first_not_of("0123456789"), segment.size());
  if (digitsEnd == 0) {
    return false;
  }
  segment.remove_prefix(digitsEnd);
  for (const std::string_view stage : {"alpha", "beta"}) {
    if (segment.starts_with(stage)) {
      segment.remove_prefix(stage.size());
      return segment.empty() || isDigits(segment);
    }
  }
  return segment.empty();
}

// A bare host gets `version` + `method`, a versioned path only `method`, any other path
// (a proxy's prefix) `version` + `method`.
void appendMethod(BaseURL& url, std::string_view version, std::string_view method) {
  const std::string& path = url.path();
  if (path.empty() || path == "/") {
    url.setPath(std::string(version) + std::string(method));
  } else if (service_url::endsWithVersion(path)) {
    url.appendToPath(method);
  } else {
    url.appendToPath(std::string(version) + std::string(method));
  }
}

void dropSuffix(BaseURL& url, std::string_view suffix) {
  if (url.path().ends_with(suffix)) {
    url.truncatePath(url.path().size() - suffix.size());
  }
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

namespace service_url {

std::string effectiveBaseURL(const ModelConfig& config) {
  if (config.provider == ModelProvider::openRouter &&
      text::trim(config.baseURL) == ModelConfig::defaultConfig().baseURL) {
    return std::string(ModelProvider(ModelProvider::openRouter).defaultBaseURL());
  }
  return config.baseURL;
}

bool endsWithVersion(std::string_view path) {
  return path.ends_with("/v1beta/openai") || isVersionSegment(lastSegment(path));
}

Result<std::string> chatCompletions(std::string_view baseURL) {
  auto url = BaseURL::parse(baseURL);
  if (!url) {
    return fail(url.error());
  }
  if (!url->path().ends_with("/chat/completions")) {
    appendMethod(*url, "/v1", "/chat/completions");
  }
  return url->string();
}

Result<std::string> anthropicMessages(std::string_view baseURL) {
  auto url = BaseURL::parse(baseURL, ModelProvider(ModelProvider::anthropic).defaultBaseURL());
  if (!url) {
    return fail(url.error());
  }
  if (!url->path().ends_with("/messages")) {
    appendMethod(*url, "/v1", "/messages");
  }
  return url->string();
}

Result<std::string> geminiGenerateContent(std::string_view baseURL, std::string_view model) {
  auto url = BaseURL::parse(baseURL, ModelProvider(ModelProvider::gemini).defaultBaseURL());
  if (!url) {
    return fail(url.error());
  }
  if (url->path().find(":generateContent") == std::string::npos) {
    // The model goes in as stored; characters a path may not hold are percent-encoded.
    appendMethod(*url, "/v1beta", "/models/" + std::string(geminiModelID(model)) + ":generateContent");
  }
  return url->string();
}

Result<BaseURL> modelList(const ModelConfig& config) {
  const ModelProvider provider = config.provider;
  const std::string baseURL = effectiveBaseURL(config);
  auto url = provider == ModelProvider::openAICompatible || provider == ModelProvider::openRouter
                 ? BaseURL::parse(baseURL)
                 : BaseURL::parse(baseURL, provider.defaultBaseURL());
  if (!url) {
    return url;
  }
  switch (provider.value()) {
    case ModelProvider::openAICompatible:
    case ModelProvider::openRouter:
      dropSuffix(*url, "/chat/completions");
      appendMethod(*url, "/v1", "/models");
      break;
    case ModelProvider::anthropic:
      dropSuffix(*url, "/messages");
      appendMethod(*url, "/v1", "/models");
      break;
    case ModelProvider::gemini:
      // A full method address ".../v1beta/models/x:generateContent" lists from ".../v1beta".
      if (const auto method = url->path().find(":generateContent"); method != std::string::npos) {
        const auto models = url->path().rfind("/models/", method);
        url->truncatePath(models != std::string::npos ? models : url->path().rfind('/', method));
      }
      appendMethod(*url, "/v1beta", "/models");
      break;
  }
  return url;
}

std::string_view geminiModelID(std::string_view model) {
  return model.starts_with("models/") ? model.substr(7) : model;
}

}  // namespace service_url
}  // namespace wrenfold
