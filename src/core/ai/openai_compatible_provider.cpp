#include "core/ai/openai_compatible_provider.h"

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/ai/base64.h"
#include "core/ai/chat_parameter_memory.h"
#include "core/ai/llm_provider_factory.h"
#include "core/ai/reply_stream.h"
#include "core/ai/response_parser.h"
#include "core/records/assistant_error.h"
#include "core/text/text.h"

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

Failure refusalFailure(std::string_view refusal) {
  return Failure::platform("模型拒绝了这次请求：" + text::trim(refusal));
}

// The content of one choice: {"message":{"role":string,"content":string}}. A refusal (content
// null, "refusal" a text) and a reply cut off by the token limit before any text say so.
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
  const auto refusal = json::optionalString(**message, "refusal");
  const auto content = (*message)->find("content");
  if (refusal && *refusal && !text::isBlank(**refusal) &&
      (content == (*message)->end() || content->is_null())) {
    return fail(refusalFailure(**refusal));
  }
  // Reasoning servers put their thinking in "reasoning_content" or "reasoning", never read; a
  // reply cut off while still thinking has no content (null there) or only a <think> block.
  const bool cutOff = json::optionalString(choice, "finish_reason").value_or(std::nullopt) == "length";
  if (cutOff && content != (*message)->end() && content->is_null()) {
    return fail(llm_exchange::tokenLimitFailure());
  }
  auto text = json::requireString(**message, "content");
  if (text && cutOff && ResponseParser::holdsNoAnswer(*text)) {
    return fail(llm_exchange::tokenLimitFailure());
  }
  return text;
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

bool names(const llm_exchange::ServiceError& error, std::string_view parameter) {
  return error.param == parameter ||
         (error.param.empty() && error.message.find("'" + std::string(parameter) + "'") != std::string::npos);
}

// A 400 that names a parameter as unsupported (OpenAI's reasoning and GPT-5-family models
// refuse "max_tokens" and any temperature but the default) gives the parameters to try
// instead; each change is made at most once, so the retries end. Servers of one's own (llama.cpp,
// Ollama, vLLM, LM Studio) know only "max_tokens": it is never renamed for them.
std::optional<ChatParameters> adapted(const HttpResponse& response, ChatParameters parameters, bool local) {
  if (response.status != 400) {
    return std::nullopt;
  }
  const auto error = llm_exchange::serviceError(response.body);
  if (!error || (error->code != "unsupported_parameter" && error->code != "unsupported_value" &&
                 text::lowercased(error->message).find("unsupported") == std::string::npos)) {
    return std::nullopt;
  }
  if (names(*error, "max_tokens") && !parameters.maxCompletionTokens && !local) {
    parameters.maxCompletionTokens = true;
    return parameters;
  }
  if (names(*error, "temperature") && !parameters.omitTemperature) {
    parameters.omitTemperature = true;
    return parameters;
  }
  return std::nullopt;
}

json::OrderedJson chatBody(const ModelConfig& config, const json::OrderedJson& messages,
                           std::int64_t maxTokens, ChatParameters parameters, bool stream) {
  json::OrderedJson body{{"model", config.model}, {"messages", messages}};
  if (!parameters.omitTemperature) {
    body["temperature"] = config.temperature;
  }
  body[parameters.maxCompletionTokens ? "max_completion_tokens" : "max_tokens"] = maxTokens;
  body["stream"] = stream;
  return body;
}

// Chunks {"choices":[{"delta":{"content":...},"finish_reason":...}]} until "[DONE]" or a finish
// reason; only the first choice is the reply, as in a whole one. The thinking that llama.cpp,
// vLLM, LM Studio and Ollama stream in "reasoning_content" or "reasoning" is not read.
class ChunkReader final : public llm_exchange::StreamReader {
 public:
  Result<void> read(const SseEvent& event, std::string& reply) override {
    if (event.data == "[DONE]") {
      done_ = true;
      return {};
    }
    auto chunk = llm_exchange::eventObject(event);
    if (!chunk) {
      return fail(chunk.error());
    }
    const auto choices = chunk->find("choices");
    if (choices == chunk->end() || !choices->is_array() || choices->empty() ||
        !choices->front().is_object()) {
      return {};  // a usage-only chunk
    }
    const json::Json& choice = choices->front();
    if (const auto reason = json::optionalString(choice, "finish_reason"); reason && *reason) {
      finishReason_ = **reason;
    }
    const auto delta = choice.find("delta");
    if (delta == choice.end() || !delta->is_object()) {
      return {};
    }
    if (const auto content = json::optionalString(*delta, "content"); content && *content) {
      reply += **content;
    }
    if (const auto refusal = json::optionalString(*delta, "refusal"); refusal && *refusal) {
      refusal_ += **refusal;
    }
    return {};
  }

  // Some compatible servers end with the finish reason and never send "[DONE]".
  bool finished() const override { return done_ || !finishReason_.empty(); }

  std::optional<Failure> emptyReason() const override {
    if (!text::isBlank(refusal_)) {
      return refusalFailure(refusal_);
    }
    if (finishReason_ == "length") {
      return llm_exchange::tokenLimitFailure();
    }
    return std::nullopt;
  }

 private:
  bool done_ = false;
  std::string finishReason_;
  std::string refusal_;
};

// A chat reply: its first choice carries a message (a reasoning model may leave the text empty).
bool isChatReply(const json::Json& reply) {
  const auto choices = reply.find("choices");
  return choices != reply.end() && choices->is_array() && !choices->empty() && choices->front().is_object() &&
         choices->front().contains("message");
}

}  // namespace

OpenAICompatibleProvider::OpenAICompatibleProvider(ModelConfig config, std::string apiKey,
                                                   ProviderSession session)
    : config_(std::move(config)), apiKey_(std::move(apiKey)), session_(std::move(session)) {}

void OpenAICompatibleProvider::complete(LLMRequest request, Completion completion) const {
  const auto messages = json::OrderedJson::array({
      json::OrderedJson{{"role", "system"}, {"content", request.system}},
      json::OrderedJson{{"role", "user"}, {"content", userContent(request)}},
  });
  auto [httpRequest, exchange] = prepare(messages, config_.maxTokens, config_.streamReplies);
  if (config_.streamReplies) {
    llm_exchange::sendStreaming(session_, std::move(httpRequest), std::make_unique<ChunkReader>(), replyText,
                                request.candidateCount, std::move(exchange), std::move(completion));
    return;
  }
  llm_exchange::send(session_, std::move(httpRequest), replyText, request.candidateCount, std::move(exchange),
                     std::move(completion));
}

void OpenAICompatibleProvider::checkConnection(CheckCompletion completion) const {
  const auto messages = json::OrderedJson::array(
      {json::OrderedJson{{"role", "user"}, {"content", std::string(llm_exchange::kCheckPrompt)}}});
  auto [httpRequest, exchange] = prepare(messages, llm_exchange::kCheckMaxTokens, false);
  llm_exchange::check(session_, std::move(httpRequest), std::move(exchange), isChatReply,
                      std::move(completion));
}

std::pair<Result<HttpRequest>, llm_exchange::Exchange> OpenAICompatibleProvider::prepare(
    const json::OrderedJson& messages, std::int64_t maxTokens, bool stream) const {
  llm_exchange::Exchange exchange{apiKey_, config_.model};
  auto url = service_url::chatCompletions(config_.baseURL);
  if (!url) {
    return {fail(url.error()), std::move(exchange)};
  }
  auto memory = session_.parameterMemory ? session_.parameterMemory : std::make_shared<ChatParameterMemory>();
  auto parameters = std::make_shared<ChatParameters>(memory->recall(*url, config_.model));
  // OpenAI itself takes "max_completion_tokens" for every model and refuses "max_tokens" for
  // its reasoning models; other servers keep the body they accept today.
  if (const auto parsed = BaseURL::parse(*url); parsed && parsed->host() == "api.openai.com") {
    parameters->maxCompletionTokens = true;
  }
  auto build = [url = *url, headers = LLMProviderFactory::authHeaders(config_.provider, apiKey_),
                config = config_, messages, maxTokens, stream](ChatParameters chosen) {
    return llm_exchange::postJson(url, headers, chatBody(config, messages, maxTokens, chosen, stream));
  };
  HttpRequest first = build(*parameters);
  const bool local = service_url::isLocalService(config_);
  exchange.retry = [parameters, memory, build, url = *url, model = config_.model,
                    local](const HttpResponse& response) -> std::optional<HttpRequest> {
    const auto next = adapted(response, *parameters, local);
    if (!next) {
      return std::nullopt;
    }
    *parameters = *next;
    memory->remember(url, model, *next);
    return build(*next);
  };
  return {std::move(first), std::move(exchange)};
}

}  // namespace wrenfold
