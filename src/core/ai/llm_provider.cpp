#include "core/ai/llm_provider.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>

#include "core/ai/response_parser.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

// Longest error body passed on to the user, in user-perceived characters.
constexpr std::size_t kMaxErrorBodyCharacters = 500;
constexpr std::string_view kSecretMask = "***";
constexpr std::string_view kKeyWithControlCharacters = "API Key 含有换行或其他控制字符";

// ---- the exchange ----

std::string redacted(std::string_view text, std::string_view secret) {
  if (secret.empty()) {
    return std::string(text);
  }
  std::string out;
  std::size_t from = 0;
  for (std::size_t at = text.find(secret); at != std::string_view::npos; at = text.find(secret, from)) {
    out.append(text.substr(from, at - from)).append(kSecretMask);
    from = at + secret.size();
  }
  return out.append(text.substr(from));
}

// Transport and decoding failures are passed on, but the text they quote must never hold the
// key (a client may name the URL that carries it). The failures built here use texts that are
// already clean: the status rule removes the key before cutting the body.
Failure withoutSecret(Failure failure, std::string_view secret) {
  if (secret.empty() || failure.assistantError() != nullptr) {
    return failure;
  }
  const std::string description = failure.localizedDescription();
  if (description.find(secret) == std::string::npos) {
    return failure;
  }
  return Failure::platform(redacted(description, secret));
}

bool hasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// A non-2xx reply: the service's own error text, else the status code. An empty body would
// leave the user with a bare "模型请求失败：", so it gets the status code as well. A service may
// echo the key in its error text (Gemini does): it is masked before the cut, so no prefix of
// it survives either.
Failure statusFailure(const HttpResponse& response, std::string_view secret) {
  if (!text::isValidUtf8(response.body) || text::isBlank(response.body)) {
    return AssistantError::network("HTTP " + std::to_string(response.status));
  }
  return AssistantError::network(
      text::graphemePrefix(redacted(response.body, secret), kMaxErrorBodyCharacters));
}

Result<LLMResponse> parsedReply(const std::string& replyText, int candidateCount) {
  std::string trimmed = text::trim(replyText);
  if (trimmed.empty()) {
    return fail(AssistantError::invalidModelResponse());
  }
  auto candidates = ResponseParser::parse(trimmed, candidateCount);
  return LLMResponse{std::move(candidates), std::move(trimmed)};
}

Result<LLMResponse> readReply(const HttpResponse& response, llm_exchange::ReplyExtractor extract,
                              int candidateCount, std::string_view secret) {
  if (response.status < 200 || response.status > 299) {
    return fail(statusFailure(response, secret));
  }
  const auto reply = json::parse(text::repairUtf8(response.body));
  if (!reply) {
    return fail(reply.error());
  }
  const auto replyText = extract(*reply);
  if (!replyText) {
    return fail(replyText.error());
  }
  return parsedReply(*replyText, candidateCount);
}

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

namespace llm_exchange {

std::string userText(const LLMRequest& request) {
  return request.user +
         "\n输出要求："
         "\n- 只返回 JSON，不要 Markdown 代码块。"
         "\n- 格式：{\"candidates\":[{\"text\":\"...\",\"title\":\"可选标题\",\"confidence\":0.8}]}"
         "\n- candidates 数量为 " +
         std::to_string(request.candidateCount) + "。";
}

HttpRequest postJson(std::string url, std::vector<std::pair<std::string, std::string>> authHeaders,
                     const json::OrderedJson& body) {
  HttpRequest request;
  request.method = "POST";
  request.url = std::move(url);
  request.headers.emplace_back("Content-Type", "application/json");
  std::move(authHeaders.begin(), authHeaders.end(), std::back_inserter(request.headers));
  request.body = json::dumpCompact(body);
  return request;
}

void send(const ProviderSession& session, Result<HttpRequest> request, ReplyExtractor extract,
          int candidateCount, std::string_view apiKey, LLMProvider::Completion completion) {
  auto finish = [completion = std::move(completion),
                 secret = std::string(apiKey)](Result<LLMResponse> result) {
    if (!result) {
      result = std::unexpected(withoutSecret(std::move(result.error()), secret));
    }
    completion(std::move(result));
  };
  if (request && hasControlCharacters(apiKey)) {
    // It would end a header line early or be rejected by the client half-way; say so instead.
    request = fail(AssistantError::network(std::string(kKeyWithControlCharacters)));
  }
  if (!request) {
    session.mainQueue.post([finish, failure = request.error()] { finish(std::unexpected(failure)); });
    return;
  }
  request->cancellation = session.cancellation;
  session.http.send(std::move(*request), [finish, extract, candidateCount,
                                          secret = std::string(apiKey)](Result<HttpResponse> response) {
    finish(response ? readReply(*response, extract, candidateCount, secret) : fail(response.error()));
  });
}

Result<const json::Json*> requireArray(const json::Json& object, std::string_view key) {
  const auto it = object.is_object() ? object.find(key) : object.end();
  if (it == object.end() || !it->is_array()) {
    return fail(json::decodingFailure("\"" + std::string(key) + "\" 缺失或不是数组"));
  }
  return &*it;
}

Result<const json::Json*> requireObject(const json::Json& object, std::string_view key) {
  const auto it = object.is_object() ? object.find(key) : object.end();
  if (it == object.end() || !it->is_object()) {
    return fail(json::decodingFailure("\"" + std::string(key) + "\" 缺失或不是对象"));
  }
  return &*it;
}

Result<void> requireObjectElement(const json::Json& element, std::string_view arrayKey, std::size_t index) {
  if (!element.is_object()) {
    return fail(json::decodingFailure("\"" + std::string(arrayKey) + "\" 的第 " + std::to_string(index + 1) +
                                      " 个元素不是对象"));
  }
  return {};
}

std::string joinLines(const std::vector<std::string>& texts) {
  std::string joined;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    joined += (i == 0 ? "" : "\n") + texts[i];
  }
  return joined;
}

}  // namespace llm_exchange

Result<BaseURL> BaseURL::parse(std::string_view typed, std::string_view fallback) {
  const auto invalid = [] {
    return fail(AssistantError::network(std::string(llm_exchange::kInvalidBaseURL)));
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

}  // namespace wrenfold
