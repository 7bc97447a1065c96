#include "core/ai/gemini_provider.h"

#include <utility>
#include <vector>

#include "core/ai/base64.h"

namespace wrenfold {
namespace {

// The user parts: the text first, then the image when there is one.
json::OrderedJson userParts(const LLMRequest& request) {
  auto parts = json::OrderedJson::array();
  parts.push_back(json::OrderedJson{{"text", llm_exchange::userText(request)}});
  if (request.image) {
    parts.push_back(json::OrderedJson{
        {"inlineData",
         {{"mimeType", request.image->mediaType}, {"data", base64::encode(request.image->data)}}}});
  }
  return parts;
}

// A part may hold "text" and "inlineData" (both optional); inline data, when present, must be
// well formed. Gives the part's text, if any.
Result<std::optional<std::string>> partText(const json::Json& part, std::size_t index) {
  if (auto element = llm_exchange::requireObjectElement(part, "parts", index); !element) {
    return fail(element.error());
  }
  if (const auto it = part.find("inlineData"); it != part.end() && !it->is_null()) {
    auto inlineData = llm_exchange::requireObject(part, "inlineData");
    if (!inlineData) {
      return fail(inlineData.error());
    }
    for (const std::string_view key : {"mimeType", "data"}) {
      if (auto value = json::requireString(**inlineData, key); !value) {
        return fail(value.error());
      }
    }
  }
  return json::optionalString(part, "text");
}

// Appends the texts of one candidate's parts: {"content":{"parts":[...]}}.
Result<void> appendCandidateTexts(const json::Json& candidate, std::size_t index,
                                  std::vector<std::string>& texts) {
  if (auto element = llm_exchange::requireObjectElement(candidate, "candidates", index); !element) {
    return element;
  }
  auto content = llm_exchange::requireObject(candidate, "content");
  if (!content) {
    return fail(content.error());
  }
  auto parts = llm_exchange::requireArray(**content, "parts");
  if (!parts) {
    return fail(parts.error());
  }
  for (std::size_t i = 0; i < (*parts)->size(); ++i) {
    auto text = partText((**parts)[i], i);
    if (!text) {
      return fail(text.error());
    }
    if (*text) {
      texts.push_back(std::move(**text));
    }
  }
  return {};
}

// {"candidates":[{"content":{"parts":[{"text":...}]}}]}: the texts of all candidates' parts,
// in order, one line feed apart.
Result<std::string> replyText(const json::Json& reply) {
  auto candidates = llm_exchange::requireArray(reply, "candidates");
  if (!candidates) {
    return fail(candidates.error());
  }
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < (*candidates)->size(); ++i) {
    if (auto appended = appendCandidateTexts((**candidates)[i], i, texts); !appended) {
      return fail(appended.error());
    }
  }
  return llm_exchange::joinLines(texts);
}

}  // namespace

GeminiProvider::GeminiProvider(ModelConfig config, std::string apiKey, ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(session) {}

void GeminiProvider::complete(LLMRequest request, Completion completion) const {
  auto url = endpointURL();
  auto httpRequest = url ? llm_exchange::postJson(std::move(*url), {}, requestBody(request))
                         : Result<HttpRequest>(fail(url.error()));
  llm_exchange::send(session_, std::move(httpRequest), replyText, request.candidateCount, apiKey_,
                     std::move(completion));
}

Result<std::string> GeminiProvider::endpointURL() const {
  const ModelProvider gemini = ModelProvider::gemini;
  auto parsed = BaseURL::parse(config_.baseURL, gemini.defaultBaseURL());
  if (!parsed) {
    return fail(parsed.error());
  }
  BaseURL& url = *parsed;
  // The model goes in as stored; characters a path may not hold are percent-encoded.
  const std::string method = "/v1beta/models/" + config_.model + ":generateContent";
  if (url.path().empty() || url.path() == "/") {
    url.setPath(method);
  } else if (url.path().find(":generateContent") == std::string::npos) {
    url.appendToPath(method);
  }
  // An existing "key" item stays; the configured key follows it.
  url.appendQueryItem("key", apiKey_);
  return url.string();
}

json::OrderedJson GeminiProvider::requestBody(const LLMRequest& request) const {
  return json::OrderedJson{
      {"systemInstruction",
       {{"parts", json::OrderedJson::array({json::OrderedJson{{"text", request.system}}})}}},
      {"contents", json::OrderedJson::array({json::OrderedJson{{"parts", userParts(request)}}})},
      {"generationConfig", {{"temperature", config_.temperature}, {"maxOutputTokens", config_.maxTokens}}},
  };
}

}  // namespace wrenfold
