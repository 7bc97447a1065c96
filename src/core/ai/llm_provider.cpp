#include "core/ai/llm_provider.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <iterator>
#include <memory>
#include <optional>

#include "core/ai/response_parser.h"
#include "core/records/assistant_error.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

// Longest error body passed on to the user, in user-perceived characters.
constexpr std::size_t kMaxErrorBodyCharacters = 500;
// How much of the service's own words follows a message of ours.
constexpr std::size_t kMaxQuotedCharacters = 200;
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
Failure cleanFailure(Failure failure, std::string_view secret) {
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

Result<LLMResponse> parseReplyText(const std::string& replyText, int candidateCount) {
  std::string trimmed = text::trim(replyText);
  if (trimmed.empty()) {
    return fail(AssistantError::invalidModelResponse());
  }
  auto candidates = ResponseParser::parse(trimmed, candidateCount);
  if (!candidates) {
    return fail(candidates.error());
  }
  return LLMResponse{std::move(*candidates), std::move(trimmed)};
}

Result<LLMResponse> readWholeReply(const HttpResponse& response, llm_exchange::ReplyExtractor extract,
                                   int candidateCount) {
  const auto reply = json::parse(text::repairUtf8(response.body));
  if (!reply) {
    return fail(reply.error());
  }
  const auto replyText = extract(*reply);
  if (!replyText) {
    return fail(replyText.error());
  }
  return parseReplyText(*replyText, candidateCount);
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Services say "no such model" in their own words: OpenAI with the code "model_not_found",
// OpenRouter with "not a valid model ID", the others with a 404 whose message names a model.
bool saysModelIsMissing(long status, const llm_exchange::ServiceError& error) {
  const std::string message = text::lowercased(error.message);
  return error.code == "model_not_found" || contains(message, "not a valid model") ||
         (status == 404 && contains(message, "model"));
}

std::string stringAt(const json::Json& object, std::string_view key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// One request and its replacements. `retry` decides whether a refusal is worth another
// attempt; the cap stops a retry that would never say no.
class Attempts : public std::enable_shared_from_this<Attempts> {
 public:
  Attempts(HttpClient& http, std::shared_ptr<HttpCancellation> cancellation, llm_exchange::Retry retry,
           std::function<void(Result<HttpResponse>)> completion,
           std::function<void(std::string_view)> onBodyData)
      : http_(http),
        cancellation_(std::move(cancellation)),
        retry_(std::move(retry)),
        completion_(std::move(completion)),
        onBodyData_(std::move(onBodyData)) {}

  void send(HttpRequest request) {
    request.cancellation = cancellation_;  // a retry is cancelled with the exchange it belongs to
    request.onBodyData = onBodyData_;
    http_.send(std::move(request), [self = shared_from_this()](Result<HttpResponse> response) {
      self->received(std::move(response));
    });
  }

 private:
  static constexpr int kMaxRetries = 2;

  void received(Result<HttpResponse> response) {
    const bool refused = response && (response->status < 200 || response->status > 299);
    if (refused && retry_ && retries_ < kMaxRetries) {
      if (auto again = retry_(*response)) {
        ++retries_;
        send(std::move(*again));
        return;
      }
    }
    completion_(std::move(response));
  }

  HttpClient& http_;
  std::shared_ptr<HttpCancellation> cancellation_;
  llm_exchange::Retry retry_;
  std::function<void(Result<HttpResponse>)> completion_;
  std::function<void(std::string_view)> onBodyData_;
  int retries_ = 0;
};

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

Failure withoutSecret(Failure failure, std::string_view secret) {
  return cleanFailure(std::move(failure), secret);
}

Result<LLMResponse> parsedReply(const std::string& replyText, int candidateCount) {
  return parseReplyText(replyText, candidateCount);
}

Result<LLMResponse> readReply(const HttpResponse& response, ReplyExtractor extract, int candidateCount) {
  return readWholeReply(response, extract, candidateCount);
}

void fetch(const ProviderSession& session, Result<HttpRequest> request, Exchange exchange,
           std::function<void(Result<HttpResponse>)> completion,
           std::function<void(std::string_view)> onBodyData) {
  auto finish = [completion = std::move(completion), secret = exchange.apiKey,
                 model = exchange.model](Result<HttpResponse> response) {
    if (response && (response->status < 200 || response->status > 299)) {
      response = fail(statusFailure(*response, secret, model));
    }
    if (!response) {
      response = std::unexpected(cleanFailure(std::move(response.error()), secret));
    }
    completion(std::move(response));
  };
  if (request && hasControlCharacters(exchange.apiKey)) {
    // It would end a header line early or be rejected by the client half-way; say so instead.
    request = fail(AssistantError::network(std::string(kKeyWithControlCharacters)));
  }
  if (!request) {
    session.mainQueue.post([finish, failure = request.error()] { finish(std::unexpected(failure)); });
    return;
  }
  std::make_shared<Attempts>(session.http, session.cancellation, std::move(exchange.retry), std::move(finish),
                             std::move(onBodyData))
      ->send(std::move(*request));
}

void send(const ProviderSession& session, Result<HttpRequest> request, ReplyExtractor extract,
          int candidateCount, Exchange exchange, LLMProvider::Completion completion) {
  const std::string secret = exchange.apiKey;
  fetch(session, std::move(request), std::move(exchange),
        [extract, candidateCount, secret, completion = std::move(completion)](Result<HttpResponse> response) {
          Result<LLMResponse> result =
              response ? readWholeReply(*response, extract, candidateCount) : fail(response.error());
          if (!result) {
            result = std::unexpected(cleanFailure(std::move(result.error()), secret));
          }
          completion(std::move(result));
        });
}

void check(const ProviderSession& session, Result<HttpRequest> request, Exchange exchange, ReplyShape isReply,
           LLMProvider::CheckCompletion completion) {
  fetch(session, std::move(request), std::move(exchange),
        [isReply, completion = std::move(completion)](Result<HttpResponse> response) {
          if (!response) {
            completion(fail(response.error()));
            return;
          }
          const auto reply = json::parse(text::repairUtf8(response->body));
          if (reply && reply->is_object() && isReply(*reply)) {
            completion({});
            return;
          }
          // A proxy or a server of one's own may answer 200 with the service's error.
          if (const auto error = serviceError(response->body)) {
            completion(fail(AssistantError::network(error->message)));
            return;
          }
          completion(fail(Failure::platform(describeForeignReply(*response))));
        });
}

std::string describeForeignReply(const HttpResponse& response) {
  const std::string body = text::trim(response.body);
  const std::string start = text::lowercased(body.substr(0, 512));
  const bool htmlType = std::ranges::any_of(response.headers, [](const auto& header) {
    return text::lowercased(header.first) == "content-type" &&
           text::lowercased(header.second).find("html") != std::string::npos;
  });
  std::string what;
  if (body.empty()) {
    what = "空白内容";
  } else if (htmlType || start.starts_with("<!doctype") || start.find("<html") != std::string::npos) {
    what = "HTML 页面";
  } else if (!text::isValidUtf8(body)) {
    what = "二进制内容";
  } else {
    const std::string shown = text::graphemePrefix(body, 80);
    what = (json::parse(body) ? "其他格式的 JSON：" : "文本：") + shown +
           (shown.size() < body.size() ? "…" : "");
  }
  return "地址返回的不是模型服务的响应（" + what + "）";
}

std::optional<ServiceError> serviceError(std::string_view body) {
  const auto document = json::parse(text::repairUtf8(body));
  if (!document || !document->is_object()) {
    return std::nullopt;
  }
  const auto error = document->find("error");
  if (error == document->end()) {
    return std::nullopt;
  }
  if (error->is_string()) {
    return ServiceError{error->get<std::string>(), {}, {}, {}};
  }
  if (!error->is_object() || stringAt(*error, "message").empty()) {
    return std::nullopt;
  }
  return ServiceError{stringAt(*error, "message"), stringAt(*error, "status"), stringAt(*error, "code"),
                      stringAt(*error, "param")};
}

Failure statusFailure(const HttpResponse& response, std::string_view secret, std::string_view model) {
  // An empty body would leave the user with a bare "模型请求失败：", so it gets the status too.
  if (!text::isValidUtf8(response.body) || text::isBlank(response.body)) {
    return AssistantError::network("HTTP " + std::to_string(response.status));
  }
  std::string said = response.body;
  bool modelMissing = false;
  if (const auto error = serviceError(response.body)) {
    said = error->status.empty() ? error->message : error->message + "（" + error->status + "）";
    modelMissing = !model.empty() && saysModelIsMissing(response.status, *error);
  }
  // A service may echo the key in its error text (Gemini does): it is masked before the cut,
  // so no prefix of it survives either.
  said = text::graphemePrefix(redacted(said, secret), kMaxErrorBodyCharacters);
  if (modelMissing) {
    said = "服务没有名为“" + redacted(model, secret) +
           "”的模型，或此 API Key 无权使用它。请在“模型”中换一个服务列出的模型。（" +
           text::graphemePrefix(said, kMaxQuotedCharacters) + "）";
  }
  return AssistantError::network(said);
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

Failure tokenLimitFailure() {
  return Failure::platform(
      "模型在写出回复之前就用完了“最多 tokens”（会思考的模型先把额度用在思考上）。"
      "请在“模型”中调高“最多 tokens”后重试。");
}

std::string joinLines(const std::vector<std::string>& texts) {
  std::string joined;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    joined += (i == 0 ? "" : "\n") + texts[i];
  }
  return joined;
}

}  // namespace llm_exchange

}  // namespace wrenfold
