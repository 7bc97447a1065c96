#pragma once

// The provider-neutral request and result, the provider interface, and the steps of one
// exchange that the three wire protocols share.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ai/http_client.h"
#include "core/ai/service_url.h"
#include "core/platform/main_queue.h"
#include "core/records/assistant_error.h"
#include "core/records/generated_candidate.h"
#include "core/support/failure.h"
#include "core/support/json.h"

namespace wrenfold {

// An image attached to a request: encoded bytes and their MIME type ("image/jpeg" for the
// window screenshot).
struct LLMImage {
  std::string data;
  std::string mediaType;

  bool operator==(const LLMImage&) const = default;
};

struct LLMRequest {
  std::string system;
  std::string user;
  std::optional<LLMImage> image;
  // Carried for the caller's records; providers send their own configuration's values.
  double temperature = 0;
  std::int64_t maxTokens = 0;
  int candidateCount = 0;  // how many candidates the reply must hold
};

struct LLMResponse {
  std::vector<GeneratedCandidate> candidates;  // never empty
  std::string rawText;                         // the trimmed reply text that was parsed
};

class ChatParameterMemory;

// What every provider sends through: the process-wide HTTP client and the main queue on which
// completions arrive (both outlive every provider and every exchange), and where the
// chat-completions provider remembers which parameters a server refused (shared by the
// exchanges of one owner; none means nothing is remembered beyond one exchange).
struct ProviderSession {
  ProviderSession(HttpClient& client, MainQueue& queue, std::shared_ptr<ChatParameterMemory> memory = nullptr,
                  std::shared_ptr<HttpCancellation> cancel = nullptr)
      : http(client), mainQueue(queue), parameterMemory(std::move(memory)), cancellation(std::move(cancel)) {}

  HttpClient& http;
  MainQueue& mainQueue;
  std::shared_ptr<ChatParameterMemory> parameterMemory;
  // Cancelling it abandons the exchange: no completion, the connection is closed.
  std::shared_ptr<HttpCancellation> cancellation;
  // When the reply is streamed, called on the main queue with the candidates complete so far
  // each time one more completes; the final list still comes through the completion.
  std::function<void(const std::vector<GeneratedCandidate>&)> onCandidates;
};

// One model service. Providers are immutable; one may be destroyed as soon as complete()
// returns, the exchange still finishes.
class LLMProvider {
 public:
  using Completion = std::function<void(Result<LLMResponse>)>;
  using CheckCompletion = std::function<void(Result<void>)>;

  LLMProvider() = default;
  virtual ~LLMProvider() = default;
  LLMProvider(const LLMProvider&) = delete;
  LLMProvider& operator=(const LLMProvider&) = delete;

  // Sends one HTTP request (the chat-completions provider sends it once more when the server
  // refuses a parameter by name) and calls `completion` once, on the main queue, never before
  // returning. Fails with AssistantError::network ("baseURL 无效", the service's own error text
  // cut to 500 characters, a model the service does not know, or "HTTP " and the status),
  // AssistantError::invalidModelResponse for an empty reply, a platform failure saying why a
  // reply holds no text (a refusal, a safety stop, the token limit), or the transport or
  // decoding failure unchanged. No failure text ever contains the API key.
  virtual void complete(LLMRequest request, Completion completion) const = 0;

  // Sends the smallest request that proves the key, the address and the model: a 2xx reply
  // that decodes as the protocol's reply succeeds. Fails like complete() does before a reply is read.
  virtual void checkConnection(CheckCompletion completion) const = 0;
};

namespace llm_exchange {

inline constexpr std::string_view kInvalidBaseURL = service_url::kInvalidBaseURL;
// The prompt and token cap of a connection check: enough to reach the model, nothing more.
inline constexpr std::string_view kCheckPrompt = "ping";
inline constexpr std::int64_t kCheckMaxTokens = 16;

// The request's user text followed by the fixed output requirements asking for JSON
// candidates.
[[nodiscard]] std::string userText(const LLMRequest& request);

// A request with "Content-Type: application/json" first (POST with a body), then
// `authHeaders`.
[[nodiscard]] HttpRequest postJson(std::string url,
                                   std::vector<std::pair<std::string, std::string>> authHeaders,
                                   const json::OrderedJson& body);

// Turns a decoded 2xx reply body into the model's reply text, or fails.
using ReplyExtractor = Result<std::string> (*)(const json::Json& reply);
// Given a non-2xx reply, may give the request to send instead; it must not give one forever.
using Retry = std::function<std::optional<HttpRequest>(const HttpResponse&)>;

// What a failure text is checked against: the key must never appear in it, and a reply that
// says the model does not exist is told in words naming `model` (empty: not a model call).
struct Exchange {
  std::string apiKey;
  std::string model;
  Retry retry = {};
};

// Sends `request` (or reports its failure) and completes with the parsed candidates: status
// rule, decoding, extraction, trimming, the empty check and the response parser.
void send(const ProviderSession& session, Result<HttpRequest> request, ReplyExtractor extract,
          int candidateCount, Exchange exchange, LLMProvider::Completion completion);
// Whether a decoded 2xx body is the protocol's reply (a chat reply with its message).
using ReplyShape = bool (*)(const json::Json& reply);
// Sends `request` and completes with success for a 2xx reply of the protocol's shape; a 2xx
// holding the service's JSON error fails with its message, any other body with a sentence
// saying what came back (an HTML page, empty, other JSON, plain text); else as send() would fail.
void check(const ProviderSession& session, Result<HttpRequest> request, Exchange exchange, ReplyShape isReply,
           LLMProvider::CheckCompletion completion);
// What a body that is not the protocol's reply holds, as check() reports it.
[[nodiscard]] std::string describeForeignReply(const HttpResponse& response);
// Sends `request` and completes with the 2xx reply, else as send() would fail. `onBodyData`
// goes on every request sent (see HttpRequest).
void fetch(const ProviderSession& session, Result<HttpRequest> request, Exchange exchange,
           std::function<void(Result<HttpResponse>)> completion,
           std::function<void(std::string_view)> onBodyData = {});

// The steps send() takes after the reply arrived: the decoded 2xx body through `extract`, then
// the reply text trimmed, checked for emptiness and parsed.
[[nodiscard]] Result<LLMResponse> readReply(const HttpResponse& response, ReplyExtractor extract,
                                            int candidateCount);
[[nodiscard]] Result<LLMResponse> parsedReply(const std::string& replyText, int candidateCount);
// A transport or decoding failure with the key masked in its text.
[[nodiscard]] Failure withoutSecret(Failure failure, std::string_view secret);

// A service's JSON error body: {"error":{"message":..., "status"?:..., "code"?:..., "param"?:...}}
// (OpenAI, OpenRouter, Anthropic, Gemini, llama.cpp) or {"error":"..."} (Ollama).
struct ServiceError {
  std::string message;
  std::string status;  // Gemini's status name, e.g. "NOT_FOUND"
  std::string code;    // OpenAI's code, e.g. "unsupported_parameter"
  std::string param;   // OpenAI's parameter name
};
[[nodiscard]] std::optional<ServiceError> serviceError(std::string_view body);

// The failure for a non-2xx reply: the service's own message when the body is its JSON error
// (Gemini's with its status), else the body, cut to 500 characters; "HTTP " and the status
// when the body is empty or not text; a clear message naming `model` when the service says it
// does not know it. `secret` is masked first.
[[nodiscard]] Failure statusFailure(const HttpResponse& response, std::string_view secret,
                                    std::string_view model);

// Decoding helpers for the reply extractors: the value under `key` must be an array or an
// object (missing and null fail too).
[[nodiscard]] Result<const json::Json*> requireArray(const json::Json& object, std::string_view key);
[[nodiscard]] Result<const json::Json*> requireObject(const json::Json& object, std::string_view key);
// Fails unless `element` (the index-th of `arrayKey`) is a JSON object.
[[nodiscard]] Result<void> requireObjectElement(const json::Json& element, std::string_view arrayKey,
                                                std::size_t index);
// The texts with one line feed between neighbours.
[[nodiscard]] std::string joinLines(const std::vector<std::string>& texts);
// The failure for a reply that ended on the token limit before any text.
[[nodiscard]] Failure tokenLimitFailure();

}  // namespace llm_exchange

}  // namespace wrenfold
