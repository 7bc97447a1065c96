#include "core/ai/connection_test.h"

#include "core/ai/llm_provider_factory.h"
#include "core/ai/model_catalog.h"
#include "core/ai/service_url.h"
#include "core/text/text.h"

namespace wrenfold {

void ConnectionTest::run(const ModelConfig& config, const std::string& apiKey, const ProviderSession& session,
                         const Clock& clock, Completion completion) {
  std::string key = text::trim(apiKey);
  if (key.empty() && !service_url::isLocalService(config)) {
    session.mainQueue.post([completion = std::move(completion)] { completion(fail(missingKeyFailure())); });
    return;
  }
  const auto started = clock.now();
  LLMProviderFactory::make(config, std::move(key), session)
      ->checkConnection([&clock, started, completion = std::move(completion)](Result<void> checked) {
        if (!checked) {
          completion(fail(checked.error()));
          return;
        }
        completion(std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - started));
      });
}

}  // namespace wrenfold
