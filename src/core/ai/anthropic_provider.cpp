#include "core/ai/anthropic_provider.h"

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

Failure refusalFailure() {
  return Failure::platform("模型拒绝了这次请求。请调整上下文或指令后重试。");
}

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

// {"content":[{"type":...,"text":...}]}: every text, in order, one line feed apart. A reply
// without text that stopped for a refusal or on the token limit says so.
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
  std::string joined = llm_exchange::joinLines(texts);
  if (ResponseParser::holdsNoAnswer(joined)) {
    const auto stopReason = json::optionalString(reply, "stop_reason").value_or(std::nullopt);
    if (stopReason == "refusal") {
      return fail(refusalFailure());
    }
    if (stopReason == "max_tokens") {
      return fail(llm_exchange::tokenLimitFailure());
    }
  }
  return joined;
}

// Events message_start, content_block_start/_delta/_stop, message_delta and message_stop;
// "text_delta" deltas carry the text, and text blocks are joined by a line feed as in a whole
// reply. Other deltas (thinking, tool input) and pings are skipped.
class EventReader final : public llm_exchange::StreamReader {
 public:
  Result<void> read(const SseEvent& event, std::string& reply) override {
    auto data = llm_exchange::eventObject(event);
    if (!data) {
      return fail(data.error());
    }
    const std::string type = json::optionalString(*data, "type").value_or(std::nullopt).value_or(event.event);
    if (type == "message_stop") {
      stopped_ = true;
    } else if (type == "message_delta") {
      if (const auto delta = data->find("delta"); delta != data->end() && delta->is_object()) {
        stopReason_ =
            json::optionalString(*delta, "stop_reason").value_or(std::nullopt).value_or(stopReason_);
      }
    } else if (type == "content_block_delta") {
      const auto delta = data->find("delta");
      if (delta == data->end() || !delta->is_object() ||
          json::optionalString(*delta, "type").value_or(std::nullopt) != "text_delta") {
        return {};
      }
      auto text = json::requireString(*delta, "text");
      if (!text) {
        return fail(text.error());
      }
      const auto index = data->value("index", json::Json(0));
      if (textBlock_ && *textBlock_ != index && !reply.empty()) {
        reply += '\n';
      }
      textBlock_ = index;
      reply += *text;
    }
    return {};
  }

  bool finished() const override { return stopped_; }

  std::optional<Failure> emptyReason() const override {
    if (stopReason_ == "refusal") {
      return refusalFailure();
    }
    if (stopReason_ == "max_tokens") {
      return llm_exchange::tokenLimitFailure();
    }
    return std::nullopt;
  }

 private:
  bool stopped_ = false;
  std::string stopReason_;
  std::optional<json::Json> textBlock_;
};

// A messages reply: {"type":"message","content":[...]}.
bool isMessagesReply(const json::Json& reply) {
  const auto content = reply.find("content");
  return content != reply.end() && content->is_array();
}

}  // namespace

AnthropicProvider::AnthropicProvider(ModelConfig config, std::string apiKey, ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(std::move(session)) {}

void AnthropicProvider::complete(LLMRequest request, Completion completion) const {
  if (config_.streamReplies) {
    auto body = requestBody(request);
    body["stream"] = true;
    llm_exchange::sendStreaming(session_, post(body), std::make_unique<EventReader>(), replyText,
                                request.candidateCount, {apiKey_, config_.model}, std::move(completion));
    return;
  }
  llm_exchange::send(session_, post(requestBody(request)), replyText, request.candidateCount,
                     {apiKey_, config_.model}, std::move(completion));
}

void AnthropicProvider::checkConnection(CheckCompletion completion) const {
  const json::OrderedJson body{
      {"model", config_.model},
      {"max_tokens", llm_exchange::kCheckMaxTokens},
      {"temperature", config_.temperature},
      {"messages", json::OrderedJson::array({json::OrderedJson{
                       {"role", "user"}, {"content", std::string(llm_exchange::kCheckPrompt)}}})},
  };
  llm_exchange::check(session_, post(body), {apiKey_, config_.model}, isMessagesReply, std::move(completion));
}

Result<HttpRequest> AnthropicProvider::post(const json::OrderedJson& body) const {
  auto url = service_url::anthropicMessages(config_.baseURL);
  if (!url) {
    return fail(url.error());
  }
  return llm_exchange::postJson(std::move(*url), LLMProviderFactory::authHeaders(config_.provider, apiKey_),
                                body);
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
