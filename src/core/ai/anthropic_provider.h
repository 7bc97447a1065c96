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
  void checkConnection(CheckCompletion completion) const override;

 private:
  // `body` for the base URL (the Anthropic host when blank) with "/v1/messages" added, or
  // only "/messages" after a version, unless it already ends with "/messages"; fails with
  // "baseURL 无效".
  [[nodiscard]] Result<HttpRequest> post(const json::OrderedJson& body) const;
  [[nodiscard]] json::OrderedJson requestBody(const LLMRequest& request) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
