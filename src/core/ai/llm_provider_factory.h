#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

// Makes the provider for the configured service. Stateless.
class LLMProviderFactory {
 public:
  LLMProviderFactory() = delete;

  // Never fails. OpenAI-compatible and OpenRouter get the chat-completions provider (OpenRouter
  // left on the OpenAI default host is moved to its own host); Anthropic and Gemini get theirs
  // with the configuration unchanged. `apiKey` is passed on as given.
  [[nodiscard]] static std::unique_ptr<LLMProvider> make(const ModelConfig& config, std::string apiKey,
                                                         ProviderSession session);

  // The headers that carry `apiKey` (trimmed) to `provider`: "Authorization: Bearer", Anthropic's
  // "x-api-key" with its API version, Gemini's "x-goog-api-key". An empty key sends no key header
  // at all (servers of one's own need none, and an empty bearer is refused by some).
  [[nodiscard]] static std::vector<std::pair<std::string, std::string>> authHeaders(
      ModelProvider provider, const std::string& apiKey);

 private:
  [[nodiscard]] static ModelConfig normalized(ModelConfig config);
};

}  // namespace wrenfold
