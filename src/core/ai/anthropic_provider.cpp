#include "core/ai/anthropic_provider.h"

#include <optional>
#include <utility>
#include <vector>

#include "core/ai/base64.h"

namespace wrenfold {
namespace {

constexpr std::string_view kAnthropicVersion = "2023-06-01";

// The user message's blocks: the text first, then the image when there is one.
json::OrderedJson contentBlocks(const LLMRequest& request) {
  auto blocks = json::OrderedJson::array();
  blocks.push_back(json::OrderedJson{{"type", "text"}, {"text", llm_exchange::userText(request)}});
  if (request.image) {
    blocks.push_back(json::OrderedJson{{"type", "image"},
                                       {"source",
                                        {{"type", "base64"},
                                         {"media_type", request.image->mediaType},
                                         {"data", base64::encode(request.image->data)}}}});
  }
  return blocks;
}

// The text of one content block, or nothing for a block to skip. Current models may put
// thinking, redacted-thinking or tool-use blocks, which carry no "text", before or after the
// answer; those are skipped. A block that claims to be text, or names no type, must carry one.
Result<std::optional<std::string>> blockText(const json::Json& block, std::size_t index) {
  if (auto element = llm_exchange::requireObjectElement(block, "content", index); !element) {
    return fail(element.error());
  }
  auto type = json::optionalString(block, "type");
  if (!type) {
    return fail(type.error());
  }
  auto text = json::optionalString(block, "text");
  if (!text || text->has_value()) {
    return text;
  }
  const bool mayOmitText = type->has_value() && **type != "text";
  if (mayOmitText) {
    return std::optional<std::string>();
  }
  return fail(json::requireString(block, "text").error());
}

// {"content":[{"type":...,"text":...}]}: every text, in order, one line feed apart.
Result<std::string> replyText(const json::Json& reply) {
  auto content = llm_exchange::requireArray(reply, "content");
  if (!content) {
    return fail(content.error());
  }
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < (*content)->size(); ++i) {
    auto text = blockText((**content)[i], i);
    if (!text) {
      return fail(text.error());
    }
    if (*text) {
      texts.push_back(std::move(**text));
    }
  }
  return llm_exchange::joinLines(texts);
}

}  // namespace

AnthropicProvider::AnthropicProvider(ModelConfig config, std::string apiKey, ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(session) {}

void AnthropicProvider::complete(LLMRequest request, Completion completion) const {
  auto url = endpointURL();
  auto httpRequest = url ? llm_exchange::postJson(std::move(*url),
                                                  {{"x-api-key", apiKey_},
                                                   {"anthropic-version", std::string(kAnthropicVersion)}},
                                                  requestBody(request))
                         : Result<HttpRequest>(fail(url.error()));
  llm_exchange::send(session_, std::move(httpRequest), replyText, request.candidateCount, apiKey_,
                     std::move(completion));
}

Result<std::string> AnthropicProvider::endpointURL() const {
  const ModelProvider anthropic = ModelProvider::anthropic;
  auto parsed = BaseURL::parse(config_.baseURL, anthropic.defaultBaseURL());
  if (!parsed) {
    return fail(parsed.error());
  }
  BaseURL& url = *parsed;
  if (url.path().empty() || url.path() == "/") {
    url.setPath("/v1/messages");
  } else if (!url.path().ends_with("/messages")) {
    url.appendToPath("/v1/messages");  // a path ending in "/v1" gets it too: no special case
  }
  return url.string();
}

json::OrderedJson AnthropicProvider::requestBody(const LLMRequest& request) const {
  return json::OrderedJson{
      {"model", config_.model},
      {"max_tokens", config_.maxTokens},
      {"temperature", config_.temperature},
      {"system", request.system},
      {"messages",
       json::OrderedJson::array({json::OrderedJson{{"role", "user"}, {"content", contentBlocks(request)}}})},
  };
}

}  // namespace wrenfold
