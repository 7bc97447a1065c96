#pragma once

#include <memory>
#include <string>

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

 private:
  [[nodiscard]] static ModelConfig normalized(ModelConfig config);
};

}  // namespace wrenfold
