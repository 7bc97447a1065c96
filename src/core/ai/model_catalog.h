#pragma once

// The models a service lists, for the settings' model field to offer: GET "/models" beside the
// endpoint the base URL reaches (OpenAI-compatible servers, local ones included, and
// OpenRouter), Anthropic's "/v1/models" and Gemini's "/v1beta/models", page after page.

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"

namespace wrenfold {

class ModelCatalog {
 public:
  using Completion = std::function<void(Result<std::vector<std::string>>)>;
  // More pages than this are not asked for: a list that long is not a list to pick from.
  static constexpr int kMaxPages = 20;

  ModelCatalog() = delete;

  // One page: the model identifiers in the service's order (Gemini's without "models/" and
  // only those that generate content), and the query item that asks for the next page.
  struct Page {
    std::vector<std::string> models;
    std::optional<std::pair<std::string, std::string>> next;
  };
  [[nodiscard]] static Result<Page> readPage(ModelProvider provider, const json::Json& reply);

  // Fetches the list of the service `config` names with `apiKey` (as typed; it is trimmed),
  // through the providers' HTTP client, and completes once on the main queue. Fails like a
  // provider's exchange does (address, transport, the service's own error text), with a
  // decoding failure for a reply of another shape, or asks for a key when it is blank and the
  // service is not local. A local OpenAI-compatible server whose "/v1/models" fails is asked
  // at Ollama's own "/api/tags" before the failure is reported.
  static void fetch(const ModelConfig& config, const std::string& apiKey, const ProviderSession& session,
                    Completion completion);
};

// A key is needed before anything is sent, except by servers on this machine or a private network.
[[nodiscard]] Failure missingKeyFailure();

}  // namespace wrenfold
