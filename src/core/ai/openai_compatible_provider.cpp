#include "core/ai/openai_compatible_provider.h"

#include <optional>
#include <utility>

#include "core/ai/base64.h"

namespace wrenfold {
namespace {

// Text form without an image; with one, a text part followed by an image part holding a
// data URL.
json::OrderedJson userContent(const LLMRequest& request) {
  std::string text = llm_exchange::userText(request);
  if (!request.image) {
    return text;
  }
  const LLMImage& image = *request.image;
  return json::OrderedJson::array({
      json::OrderedJson{{"type", "text"}, {"text", std::move(text)}},
      json::OrderedJson{
          {"type", "image_url"},
          {"image_url", {{"url", "data:" + image.mediaType + ";base64," + base64::encode(image.data)}}}},
  });
}

// The content of one choice: {"message":{"role":string,"content":string}}.
Result<std::string> choiceContent(const json::Json& choice, std::size_t index) {
  if (auto element = llm_exchange::requireObjectElement(choice, "choices", index); !element) {
    return fail(element.error());
  }
  auto message = llm_exchange::requireObject(choice, "message");
  if (!message) {
    return fail(message.error());
  }
  if (auto role = json::requireString(**message, "role"); !role) {
    return fail(role.error());
  }
  return json::requireString(**message, "content");
}

// Every choice must decode; the first one's content is the reply. No choices at all is an
// unusable reply rather than a decoding failure.
Result<std::string> replyText(const json::Json& reply) {
  auto choices = llm_exchange::requireArray(reply, "choices");
  if (!choices) {
    return fail(choices.error());
  }
  std::optional<std::string> first;
  for (std::size_t i = 0; i < (*choices)->size(); ++i) {
    auto content = choiceContent((**choices)[i], i);
    if (!content) {
      return fail(content.error());
    }
    if (!first) {
      first = std::move(*content);
    }
  }
  if (!first) {
    return fail(AssistantError::invalidModelResponse());
  }
  return *first;
}

}  // namespace

OpenAICompatibleProvider::OpenAICompatibleProvider(ModelConfig config, std::string apiKey,
                                                   ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(session) {}

void OpenAICompatibleProvider::complete(LLMRequest request, Completion completion) const {
  auto url = endpointURL();
  auto httpRequest = url ? llm_exchange::postJson(std::move(*url), {{"Authorization", "Bearer " + apiKey_}},
                                                  requestBody(request))
                         : Result<HttpRequest>(fail(url.error()));
  llm_exchange::send(session_, std::move(httpRequest), replyText, request.candidateCount, apiKey_,
                     std::move(completion));
}

Result<std::string> OpenAICompatibleProvider::endpointURL() const {
  // No default here: an empty base URL is reported as invalid rather than guessed.
  auto parsed = BaseURL::parse(config_.baseURL);
  if (!parsed) {
    return fail(parsed.error());
  }
  BaseURL& url = *parsed;
  if (url.path().empty() || url.path() == "/") {
    url.setPath("/v1/chat/completions");
  } else if (url.path().ends_with("/v1")) {  // also "/api/v1", OpenRouter's form
    url.appendToPath("/chat/completions");
  } else if (!url.path().ends_with("/chat/completions")) {
    url.appendToPath("/v1/chat/completions");
  }
  return url.string();
}

json::OrderedJson OpenAICompatibleProvider::requestBody(const LLMRequest& request) const {
  return json::OrderedJson{
      {"model", config_.model},
      {"messages", json::OrderedJson::array({
                       json::OrderedJson{{"role", "system"}, {"content", request.system}},
                       json::OrderedJson{{"role", "user"}, {"content", userContent(request)}},
                   })},
      {"temperature", config_.temperature},
      {"max_tokens", config_.maxTokens},
      {"stream", false},
  };
}

}  // namespace wrenfold
