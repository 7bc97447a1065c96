// Each service's reply and error bodies, through the whole exchange the provider runs on a
// reply (status rule, decoding, extraction, parsing), and the model list pages: the completion
// comes exactly once; candidates are usable text; a failure is short valid UTF-8 that never
// holds the API key.

#include <array>
#include <deque>

#include "core/ai/llm_provider_factory.h"
#include "core/ai/model_catalog.h"
#include "fuzz_check.h"

namespace wrenfold {
namespace {

constexpr std::string_view kKey = "sk-fuzz-Zq8v3KeyThatMustNotLeak";
constexpr std::array<long, 12> kStatuses{200, 200, 200, 201, 400, 401, 403, 404, 429, 500, 503, 529};

class Queue final : public MainQueue {
 public:
  void post(Task task) override { tasks_.push_back(std::move(task)); }
  void postAfter(std::chrono::milliseconds, Task task) override { tasks_.push_back(std::move(task)); }
  void drain() {
    while (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      task();
    }
  }

 private:
  std::deque<Task> tasks_;
};

// Answers every request with the same reply, as a misbehaving server would.
class CannedClient final : public HttpClient {
 public:
  CannedClient(Queue& queue, HttpResponse reply) : queue_(queue), reply_(std::move(reply)) {}
  void send(HttpRequest, Completion completion) override {
    ++sent;
    queue_.post([this, completion = std::move(completion)] { completion(reply_); });
  }
  int sent = 0;

 private:
  Queue& queue_;
  HttpResponse reply_;
};

void requireSafeFailure(const Failure& failure) {
  const std::string description = failure.localizedDescription();
  FUZZ_REQUIRE_UTF8(description);
  FUZZ_REQUIRE(!description.empty());
  FUZZ_REQUIRE(description.size() <= 4096);
  FUZZ_REQUIRE(description.find(kKey) == std::string::npos);
}

}  // namespace
}  // namespace wrenfold

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [use, afterUse] = fuzz::choice(fuzz::text(data, size), 8);
  const auto [status, body] = fuzz::choice(afterUse, kStatuses.size());
  const ModelProvider provider = ModelProvider::allCases()[use % 4];
  ModelConfig config = ModelConfig::defaultConfig();
  config.provider = provider;
  config.baseURL = "http://127.0.0.1:9/v1";
  config.model = "fuzz-model";
  config.apiKey = std::string(kKey);

  Queue queue;
  CannedClient client(
      queue, HttpResponse{kStatuses[status], {{"Content-Type", "application/json"}}, std::string(body)});
  ProviderSession session(client, queue);
  int completions = 0;
  if (use < 4) {
    const auto made = LLMProviderFactory::make(config, std::string(kKey), session);
    LLMRequest request{"system", "user", std::nullopt, 0.3, 256, 3};
    made->complete(request, [&](Result<LLMResponse> result) {
      ++completions;
      if (!result) {
        requireSafeFailure(result.error());
        return;
      }
      FUZZ_REQUIRE(!result->candidates.empty());
      for (const GeneratedCandidate& candidate : result->candidates) {
        FUZZ_REQUIRE_UTF8(candidate.text);
        FUZZ_REQUIRE(!text::isBlank(candidate.text));
      }
    });
  } else {
    ModelCatalog::fetch(config, std::string(kKey), session, [&](Result<std::vector<std::string>> models) {
      ++completions;
      if (!models) {
        requireSafeFailure(models.error());
        return;
      }
      for (const std::string& model : *models) {
        FUZZ_REQUIRE_UTF8(model);
      }
    });
  }
  queue.drain();
  FUZZ_REQUIRE(completions == 1);
  FUZZ_REQUIRE(client.sent <= ModelCatalog::kMaxPages);
  return 0;
}
