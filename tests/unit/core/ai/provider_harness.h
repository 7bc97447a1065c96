#pragma once

// Runs one provider exchange against a canned HTTP answer on a manual main queue, and keeps
// what was sent.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/ai/llm_provider_factory.h"
#include "fakes/manual_clock.h"
#include "fakes/manual_main_queue.h"
#include "support/temp_dir.h"

namespace wrenfold::testing {

inline constexpr const char* kTestKey = "sk-TEST-4711";

// Answers every request with `answer` through the main queue and records the request.
class CannedHttpClient final : public HttpClient {
 public:
  CannedHttpClient(MainQueue& queue, Result<HttpResponse> answer)
      : queue_(queue), answer_(std::move(answer)) {}

  void send(HttpRequest request, Completion completion) override {
    sent.push_back(std::move(request));
    queue_.post([completion = std::move(completion), answer = answer_] { completion(answer); });
  }

  std::vector<HttpRequest> sent;

 private:
  MainQueue& queue_;
  Result<HttpResponse> answer_;
};

struct ExchangeOutcome {
  std::vector<HttpRequest> sent;
  Result<LLMResponse> result;
};

// The provider the factory makes for `config` completes `request`. The provider is dropped
// before the answer arrives: the exchange must not depend on it.
using HeaderList = std::vector<std::pair<std::string, std::string>>;

inline ExchangeOutcome exchange(const ModelConfig& config, const LLMRequest& request,
                                Result<HttpResponse> answer, std::string apiKey = kTestKey) {
  ManualClock clock;
  ManualMainQueue queue(clock);
  CannedHttpClient http(queue, std::move(answer));
  std::optional<Result<LLMResponse>> result;
  int calls = 0;
  LLMProviderFactory::make(config, std::move(apiKey), {http, queue})
      ->complete(request, [&](Result<LLMResponse> r) {
        result = std::move(r);
        ++calls;
      });
  EXPECT_EQ(calls, 0) << "completed before complete() returned";
  queue.runPending();
  EXPECT_EQ(calls, 1);
  return {http.sent, result.value_or(failPlatform("no completion"))};
}

inline HttpResponse reply(long status, std::string body) {
  return HttpResponse{status, {}, std::move(body)};
}

inline std::string fixture(std::string_view name) {
  return testData("model-replies/" + std::string(name));
}

inline ModelConfig configFor(ModelProvider provider, std::string baseURL = {}) {
  ModelConfig config = ModelConfig::defaultConfig();
  config.provider = provider;
  config.baseURL = baseURL.empty() ? std::string(provider.defaultBaseURL()) : std::move(baseURL);
  config.model = provider.defaultModel();
  return config;
}

inline LLMRequest sampleRequest(std::optional<LLMImage> image = std::nullopt) {
  return LLMRequest{"SYS 系统", "写一封回复", std::move(image), 1.5, 50, 3};
}

// The user text of sampleRequest() as it appears inside a JSON string.
inline constexpr std::string_view kSampleUserJson =
    R"(写一封回复\n输出要求：\n- 只返回 JSON，不要 Markdown 代码块。\n)"
    R"(- 格式：{\"candidates\":[{\"text\":\"...\",\"title\":\"可选标题\",\"confidence\":0.8}]}\n)"
    R"(- candidates 数量为 3。)";

inline const LLMImage kSampleImage{std::string("\x00\xff"
                                               "abc",
                                               5),
                                   "image/jpeg"};  // base64 "AP9hYmM="

inline void expectNetworkFailure(const Result<LLMResponse>& result, std::string_view payload) {
  ASSERT_FALSE(result.has_value());
  ASSERT_TRUE(result.error().is(AssistantError::Kind::network)) << result.error().localizedDescription();
  EXPECT_EQ(result.error().assistantError()->payload(), payload);
}

// A decoding or parsing failure of the reply JSON, passed on as a platform failure.
inline void expectDecodingFailure(const Result<LLMResponse>& result) {
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().assistantError(), nullptr) << result.error().localizedDescription();
  EXPECT_TRUE(result.error().localizedDescription().starts_with("JSON "))
      << result.error().localizedDescription();
}

inline void expectReplyText(const Result<LLMResponse>& result, std::string_view rawText) {
  ASSERT_TRUE(result.has_value()) << result.error().localizedDescription();
  EXPECT_EQ(result->rawText, rawText);
  EXPECT_FALSE(result->candidates.empty());
}

}  // namespace wrenfold::testing
