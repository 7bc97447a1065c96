#include "core/ai/llm_provider_factory.h"

#include <utility>

#include "core/ai/anthropic_provider.h"
#include "core/ai/gemini_provider.h"
#include "core/ai/openai_compatible_provider.h"
#include "core/ai/service_url.h"

namespace wrenfold {

std::unique_ptr<LLMProvider> LLMProviderFactory::make(const ModelConfig& config, std::string apiKey,
                                                      ProviderSession session) {
  switch (config.provider.value()) {
    case ModelProvider::openAICompatible:
    case ModelProvider::openRouter:
      return std::make_unique<OpenAICompatibleProvider>(normalized(config), std::move(apiKey),
                                                        std::move(session));
    case ModelProvider::anthropic:
      return std::make_unique<AnthropicProvider>(config, std::move(apiKey), std::move(session));
    case ModelProvider::gemini:
      return std::make_unique<GeminiProvider>(config, std::move(apiKey), std::move(session));
  }
  return std::make_unique<OpenAICompatibleProvider>(normalized(config), std::move(apiKey),
                                                    std::move(session));
}

std::vector<std::pair<std::string, std::string>> LLMProviderFactory::authHeaders(ModelProvider provider,
                                                                                 const std::string& apiKey) {
  std::vector<std::pair<std::string, std::string>> headers;
  switch (provider.value()) {
    case ModelProvider::anthropic:
      if (!apiKey.empty()) {
        headers.emplace_back("x-api-key", apiKey);
      }
      headers.emplace_back("anthropic-version", "2023-06-01");
      return headers;
    case ModelProvider::gemini:
      if (!apiKey.empty()) {
        headers.emplace_back("x-goog-api-key", apiKey);
      }
      return headers;
    case ModelProvider::openAICompatible:
    case ModelProvider::openRouter:
      break;
  }
  if (!apiKey.empty()) {
    headers.emplace_back("Authorization", "Bearer " + apiKey);
  }
  return headers;
}

ModelConfig LLMProviderFactory::normalized(ModelConfig config) {
  config.baseURL = service_url::effectiveBaseURL(config);
  return config;
}

}  // namespace wrenfold
