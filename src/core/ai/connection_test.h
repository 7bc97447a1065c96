#pragma once

// "测试连接": the smallest request that proves the key, the address and the model work, and
// how long the service took to answer it.

#include <chrono>
#include <functional>
#include <string>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"
#include "core/platform/clock.h"

namespace wrenfold {

class ConnectionTest {
 public:
  using Completion = std::function<void(Result<std::chrono::milliseconds>)>;

  ConnectionTest() = delete;

  // Sends the configured service a one-word request with `apiKey` (as typed; it is trimmed)
  // and completes once on the main queue with the time from sending to the reply, or with the
  // failure a generation would meet (the service's reason in its own words). `clock` outlives
  // the call.
  static void run(const ModelConfig& config, const std::string& apiKey, const ProviderSession& session,
                  const Clock& clock, Completion completion);
};

}  // namespace wrenfold
