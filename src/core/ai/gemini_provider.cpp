#include "core/ai/gemini_provider.h"

#include <optional>
#include <utility>
#include <vector>

#include "core/ai/base64.h"
#include "core/ai/llm_provider_factory.h"
#include "core/ai/reply_stream.h"
#include "core/ai/response_parser.h"
#include "core/text/text.h"

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
// well formed. Gives the part's text, if any and if it is not a thought.
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
  // A thought summary ("thought": true) is the model's reasoning, never part of the reply.
  if (const auto thought = part.find("thought");
      thought != part.end() && thought->is_boolean() && thought->get<bool>()) {
    return std::optional<std::string>();
  }
  return json::optionalString(part, "text");
}

// Appends the texts of one candidate's parts: {"content":{"parts":[...]}}. A candidate that
// stopped before any text may lack both.
Result<void> appendCandidateTexts(const json::Json& candidate, std::size_t index,
                                  std::vector<std::string>& texts) {
  if (auto element = llm_exchange::requireObjectElement(candidate, "candidates", index); !element) {
    return element;
  }
  const auto content = candidate.find("content");
  if (content == candidate.end() || content->is_null() ||
      (content->is_object() && (!content->contains("parts") || (*content)["parts"].is_null()))) {
    return {};
  }
  auto object = llm_exchange::requireObject(candidate, "content");
  if (!object) {
    return fail(object.error());
  }
  auto parts = llm_exchange::requireArray(**object, "parts");
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

std::string stringOr(const json::Json& object, std::string_view key) {
  return json::optionalString(object, key).value_or(std::nullopt).value_or("");
}

// Why a reply holds no text, in words that say what to do; absent when it does not say.
std::optional<Failure> emptyReplyReason(const json::Json& reply) {
  if (const auto feedback = reply.find("promptFeedback"); feedback != reply.end() && feedback->is_object()) {
    const std::string reason = stringOr(*feedback, "blockReason");
    const std::string message = stringOr(*feedback, "blockReasonMessage");
    if (!reason.empty() || !message.empty()) {
      return Failure::platform("Gemini 拦下了这次请求（" +
                               (reason.empty() ? std::string("未说明原因") : reason) +
                               (message.empty() ? "" : "：" + message) + "）。请调整上下文或指令后重试。");
    }
  }
  const auto candidates = reply.find("candidates");
  if (candidates == reply.end() || !candidates->is_array() || candidates->empty() ||
      !candidates->front().is_object()) {
    return std::nullopt;
  }
  const std::string reason = stringOr(candidates->front(), "finishReason");
  if (reason.empty() || reason == "STOP") {
    return std::nullopt;
  }
  if (reason == "MAX_TOKENS") {
    return llm_exchange::tokenLimitFailure();
  }
  if (reason == "SAFETY") {
    return Failure::platform("Gemini 的安全设置拦下了这次回复。请调整上下文或指令后重试。");
  }
  if (reason == "RECITATION") {
    return Failure::platform(
        "Gemini 停止了回复：内容与已有的受版权保护的材料过于相似。请换个说法或换一段上下文后重试。");
  }
  if (reason == "PROHIBITED_CONTENT" || reason == "BLOCKLIST" || reason == "SPII") {
    return Failure::platform("Gemini 按其内容政策拦下了这次回复（" + reason +
                             "）。请调整上下文或指令后重试。");
  }
  const std::string message = stringOr(candidates->front(), "finishMessage");
  return Failure::platform("Gemini 没有返回文字（结束原因：" + reason +
                           (message.empty() ? "" : "，" + message) + "）。");
}

// {"candidates":[{"content":{"parts":[{"text":...}]}}]}: the texts of all candidates' parts,
// in order, one line feed apart; a reply without text says why when the service does.
Result<std::string> replyText(const json::Json& reply) {
  if (!reply.contains("candidates")) {
    if (auto reason = emptyReplyReason(reply)) {
      return fail(*reason);
    }
  }
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
  std::string joined = llm_exchange::joinLines(texts);
  if (ResponseParser::holdsNoAnswer(joined)) {
    if (auto reason = emptyReplyReason(reply)) {
      return fail(*reason);
    }
  }
  return joined;
}

// Each event is a whole response holding the next piece of text; the pieces join without
// separators. The service sends no end marker: the reply is complete once a candidate gives
// its finish reason.
class ChunkReader final : public llm_exchange::StreamReader {
 public:
  Result<void> read(const SseEvent& event, std::string& reply) override {
    auto chunk = llm_exchange::eventObject(event);
    if (!chunk) {
      return fail(chunk.error());
    }
    if (const auto candidates = chunk->find("candidates");
        candidates != chunk->end() && candidates->is_array()) {
      std::vector<std::string> texts;
      for (std::size_t i = 0; i < candidates->size(); ++i) {
        if (auto appended = appendCandidateTexts((*candidates)[i], i, texts); !appended) {
          return fail(appended.error());
        }
        if ((*candidates)[i].is_object() && !stringOr((*candidates)[i], "finishReason").empty()) {
          finished_ = true;
        }
      }
      for (const auto& text : texts) {
        reply += text;
      }
    } else if (chunk->contains("promptFeedback")) {
      finished_ = true;  // a blocked prompt gets no candidates at all
    }
    last_ = std::move(*chunk);
    return {};
  }

  bool finished() const override { return finished_; }

  std::optional<Failure> emptyReason() const override { return emptyReplyReason(last_); }

 private:
  bool finished_ = false;
  json::Json last_ = json::Json::object();
};

// The streaming form of a generateContent address, asking for server-sent events.
std::string streamingURL(std::string url) {
  constexpr std::string_view kMethod = ":generateContent";
  if (const auto at = url.find(kMethod); at != std::string::npos) {
    url.replace(at, kMethod.size(), ":streamGenerateContent");
  }
  return url + (url.find('?') == std::string::npos ? "?" : "&") + "alt=sse";
}

// A generateContent reply: candidates, or the feedback of a prompt it blocked.
bool isGenerateReply(const json::Json& reply) {
  const auto candidates = reply.find("candidates");
  return (candidates != reply.end() && candidates->is_array()) || reply.contains("promptFeedback");
}

}  // namespace

GeminiProvider::GeminiProvider(ModelConfig config, std::string apiKey, ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(std::move(session)) {}

void GeminiProvider::complete(LLMRequest request, Completion completion) const {
  if (config_.streamReplies) {
    auto httpRequest = post(requestBody(request));
    if (httpRequest) {
      httpRequest->url = streamingURL(std::move(httpRequest->url));
    }
    llm_exchange::sendStreaming(session_, std::move(httpRequest), std::make_unique<ChunkReader>(), replyText,
                                request.candidateCount, {apiKey_, config_.model}, std::move(completion));
    return;
  }
  llm_exchange::send(session_, post(requestBody(request)), replyText, request.candidateCount,
                     {apiKey_, config_.model}, std::move(completion));
}

void GeminiProvider::checkConnection(CheckCompletion completion) const {
  const json::OrderedJson body{
      {"contents", json::OrderedJson::array({json::OrderedJson{
                       {"parts", json::OrderedJson::array({json::OrderedJson{
                                     {"text", std::string(llm_exchange::kCheckPrompt)}}})}}})},
      {"generationConfig",
       {{"temperature", config_.temperature}, {"maxOutputTokens", llm_exchange::kCheckMaxTokens}}},
  };
  llm_exchange::check(session_, post(body), {apiKey_, config_.model}, isGenerateReply, std::move(completion));
}

Result<HttpRequest> GeminiProvider::post(const json::OrderedJson& body) const {
  auto url = service_url::geminiGenerateContent(config_.baseURL, config_.model);
  if (!url) {
    return fail(url.error());
  }
  return llm_exchange::postJson(std::move(*url), LLMProviderFactory::authHeaders(config_.provider, apiKey_),
                                body);
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
