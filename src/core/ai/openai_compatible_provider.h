#pragma once

#include <string>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// The chat-completions protocol: OpenAI itself, OpenRouter and every compatible server.
class OpenAICompatibleProvider final : public LLMProvider {
 public:
  // `apiKey` is already trimmed; it travels as "Authorization: Bearer <key>".
  OpenAICompatibleProvider(ModelConfig config, std::string apiKey, ProviderSession session);

  void complete(LLMRequest request, Completion completion) const override;

 private:
  // The base URL with "/v1/chat/completions" (or "/chat/completions" after a "/v1") added
  // unless it already ends with "/chat/completions"; fails with "baseURL 无效".
  [[nodiscard]] Result<std::string> endpointURL() const;
  [[nodiscard]] json::OrderedJson requestBody(const LLMRequest& request) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
