#include "core/ai/llm_provider_factory.h"

#include <utility>

#include "core/ai/anthropic_provider.h"
#include "core/ai/gemini_provider.h"
#include "core/ai/openai_compatible_provider.h"
#include "core/text/text.h"

namespace wrenfold {

std::unique_ptr<LLMProvider> LLMProviderFactory::make(const ModelConfig& config, std::string apiKey,
                                                      ProviderSession session) {
  switch (config.provider.value()) {
    case ModelProvider::openAICompatible:
    case ModelProvider::openRouter:
      return std::make_unique<OpenAICompatibleProvider>(normalized(config), std::move(apiKey), session);
    case ModelProvider::anthropic:
      return std::make_unique<AnthropicProvider>(config, std::move(apiKey), session);
    case ModelProvider::gemini:
      return std::make_unique<GeminiProvider>(config, std::move(apiKey), session);
  }
  return std::make_unique<OpenAICompatibleProvider>(normalized(config), std::move(apiKey), session);
}

// Switching the picker to OpenRouter keeps the OpenAI default address unless the user changes
// it; that address is then taken to mean "OpenRouter's own".
ModelConfig LLMProviderFactory::normalized(ModelConfig config) {
  if (config.provider != ModelProvider::openRouter) {
    return config;
  }
  if (text::trim(config.baseURL) == ModelConfig::defaultConfig().baseURL) {
    config.baseURL = std::string(ModelProvider(ModelProvider::openRouter).defaultBaseURL());
  }
  return config;
}

}  // namespace wrenfold
