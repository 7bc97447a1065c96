#pragma once

#include <string>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// The Gemini generateContent protocol. The key travels in the "x-goog-api-key" header, so it
// stays out of URLs, proxies' logs and error texts.
class GeminiProvider final : public LLMProvider {
 public:
  // `apiKey` is already trimmed.
  GeminiProvider(ModelConfig config, std::string apiKey, ProviderSession session);

  void complete(LLMRequest request, Completion completion) const override;
  void checkConnection(CheckCompletion completion) const override;

 private:
  // `body` for the base URL (the Gemini host when blank) with
  // "/v1beta/models/<model>:generateContent" added (without "/v1beta" after a version) unless
  // its path already names ":generateContent"; fails with "baseURL 无效".
  [[nodiscard]] Result<HttpRequest> post(const json::OrderedJson& body) const;
  [[nodiscard]] json::OrderedJson requestBody(const LLMRequest& request) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
