#pragma once

#include <string>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// The Anthropic messages protocol.
class AnthropicProvider final : public LLMProvider {
 public:
  // `apiKey` is already trimmed; it travels in the "x-api-key" header.
  AnthropicProvider(ModelConfig config, std::string apiKey, ProviderSession session);

  void complete(LLMRequest request, Completion completion) const override;

 private:
  // The base URL (the Anthropic host when blank) with "/v1/messages" added unless it already
  // ends with "/messages"; fails with "baseURL 无效".
  [[nodiscard]] Result<std::string> endpointURL() const;
  [[nodiscard]] json::OrderedJson requestBody(const LLMRequest& request) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
