#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// The chat-completions protocol: OpenAI itself, OpenRouter and every compatible server.
class OpenAICompatibleProvider final : public LLMProvider {
 public:
  // `apiKey` is already trimmed; it travels as "Authorization: Bearer <key>".
  OpenAICompatibleProvider(ModelConfig config, std::string apiKey, ProviderSession session);

  void complete(LLMRequest request, Completion completion) const override;

  void checkConnection(CheckCompletion completion) const override;

 private:
  // The request to send (to the base URL with "/v1/chat/completions", or "/chat/completions"
  // after a version, unless it names the endpoint already) and how to retry it when the
  // server refuses a parameter; the URL failure is "baseURL 无效". `stream` asks for the reply
  // as server-sent events.
  [[nodiscard]] std::pair<Result<HttpRequest>, llm_exchange::Exchange> prepare(
      const json::OrderedJson& messages, std::int64_t maxTokens, bool stream) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
