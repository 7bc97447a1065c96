#pragma once

#include <string>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// The Gemini generateContent protocol. The key travels in the URL's "key" query item, so the
// URL itself never appears in a failure text.
class GeminiProvider final : public LLMProvider {
 public:
  // `apiKey` is already trimmed.
  GeminiProvider(ModelConfig config, std::string apiKey, ProviderSession session);

  void complete(LLMRequest request, Completion completion) const override;

 private:
  // The base URL (the Gemini host when blank) with "/v1beta/models/<model>:generateContent"
  // added unless its path already names ":generateContent", then "key=<apiKey>" appended to
  // the query; fails with "baseURL 无效".
  [[nodiscard]] Result<std::string> endpointURL() const;
  [[nodiscard]] json::OrderedJson requestBody(const LLMRequest& request) const;

  ModelConfig config_;
  std::string apiKey_;
  ProviderSession session_;
};

}  // namespace wrenfold
