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
#include "core/cycle/generated_candidate.h"
#include "core/platform/main_queue.h"
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

// What every provider sends through: the process-wide HTTP client and the main queue on which
// completions arrive. Both outlive every provider and every exchange.
struct ProviderSession {
  ProviderSession(HttpClient& client, MainQueue& queue, std::shared_ptr<HttpCancellation> cancel = nullptr)
      : http(client), mainQueue(queue), cancellation(std::move(cancel)) {}

  HttpClient& http;
  MainQueue& mainQueue;
  // Cancelling it abandons the exchange: no completion, the connection is closed.
  std::shared_ptr<HttpCancellation> cancellation;
};

// One model service. Providers are immutable; one may be destroyed as soon as complete()
// returns, the exchange still finishes.
class LLMProvider {
 public:
  using Completion = std::function<void(Result<LLMResponse>)>;

  LLMProvider() = default;
  virtual ~LLMProvider() = default;
  LLMProvider(const LLMProvider&) = delete;
  LLMProvider& operator=(const LLMProvider&) = delete;

  // Sends exactly one HTTP request (no retries) and calls `completion` once, on the main queue,
  // never before returning. Fails with AssistantError::network ("baseURL 无效", the error body
  // cut to 500 characters, or "HTTP " and the status), AssistantError::invalidModelResponse
  // for an empty reply text, or the transport or decoding failure unchanged. No failure text
  // ever contains the API key.
  virtual void complete(LLMRequest request, Completion completion) const = 0;
};

namespace llm_exchange {

inline constexpr std::string_view kInvalidBaseURL = "baseURL 无效";

// The request's user text followed by the fixed output requirements asking for JSON
// candidates.
[[nodiscard]] std::string userText(const LLMRequest& request);

// A POST with "Content-Type: application/json" first, then `authHeaders`, and the compact body.
[[nodiscard]] HttpRequest postJson(std::string url,
                                   std::vector<std::pair<std::string, std::string>> authHeaders,
                                   const json::OrderedJson& body);

// Turns a decoded 2xx reply body into the model's reply text, or fails.
using ReplyExtractor = Result<std::string> (*)(const json::Json& reply);

// Sends `request` (or reports its failure) and completes with the parsed candidates: status
// rule, decoding, extraction, trimming, the empty check and the response parser. `apiKey` is
// what must never appear in a failure text.
void send(const ProviderSession& session, Result<HttpRequest> request, ReplyExtractor extract,
          int candidateCount, std::string_view apiKey, LLMProvider::Completion completion);

// Decoding helpers for the reply extractors: the value under `key` must be an array or an
// object (missing and null fail too).
[[nodiscard]] Result<const json::Json*> requireArray(const json::Json& object, std::string_view key);
[[nodiscard]] Result<const json::Json*> requireObject(const json::Json& object, std::string_view key);
// Fails unless `element` (the index-th of `arrayKey`) is a JSON object.
[[nodiscard]] Result<void> requireObjectElement(const json::Json& element, std::string_view arrayKey,
                                                std::size_t index);
// The texts with one line feed between neighbours.
[[nodiscard]] std::string joinLines(const std::vector<std::string>& texts);

}  // namespace llm_exchange

// A base address as the providers rework it: the scheme, host and port are kept as typed, the
// path and query stay percent-encoded, and additions are encoded as they are added.
class BaseURL {
 public:
  // Trims blanks and line breaks; when nothing is left, uses `fallback` instead (an empty
  // fallback means none); trims every "/" from both ends; parses. Fails with
  // AssistantError::network("baseURL 无效") unless the result is a well-formed http or https
  // address with a host.
  [[nodiscard]] static Result<BaseURL> parse(std::string_view typed, std::string_view fallback = {});

  // The percent-encoded path, "" when the address has none.
  [[nodiscard]] const std::string& path() const { return path_; }
  // Replaces the path or appends to it; characters a path may not hold are percent-encoded.
  void setPath(std::string_view text);
  void appendToPath(std::string_view text);
  // Appends "name=value" to the query (after any items already there), both fully encoded.
  void appendQueryItem(std::string_view name, std::string_view value);

  [[nodiscard]] std::string string() const;

 private:
  BaseURL() = default;
  std::string scheme_;
  std::string authority_;
  std::string path_;
  std::optional<std::string> query_;
  std::optional<std::string> fragment_;
};

}  // namespace wrenfold
