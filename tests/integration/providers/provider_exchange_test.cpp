#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "core/ai/curl_http_client.h"
#include "core/ai/llm_provider_factory.h"
#include "support/blocking_main_queue.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::BlockingMainQueue;
using testing::CannedResponse;
using testing::TestHttpServer;

constexpr const char* kKey = "sk-LOOPBACK-4711";

class ProviderExchangeTest : public ::testing::Test {
 protected:
  // Loopback requests must never be handed to a proxy from the environment.
  static void SetUpTestSuite() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
  }

  Result<LLMResponse> complete(ModelProvider provider, std::string baseURL, const TestHttpServer& server) {
    ModelConfig config = ModelConfig::defaultConfig();
    config.provider = provider;
    config.baseURL = std::move(baseURL);
    config.model = provider.defaultModel();
    HttpClientOptions options;
    options.caBundlePath = server.caBundlePath();
    CurlHttpClient client(queue, options);
    std::optional<Result<LLMResponse>> result;
    const LLMRequest request{"系统", "用户", LLMImage{"\xff\xd8\xff", "image/jpeg"}, 0.45, 900, 2};
    LLMProviderFactory::make(config, kKey, {client, queue})->complete(request, [&](Result<LLMResponse> r) {
      result = std::move(r);
    });
    EXPECT_TRUE(queue.runUntil([&] { return result.has_value(); }, 20s)) << "no completion";
    return result.value_or(failPlatform("no completion"));
  }

  BlockingMainQueue queue;
};

constexpr std::string_view kCandidates = R"({\"candidates\":[{\"text\":\"你好\"},{\"text\":\"再见\"}]})";

TEST_F(ProviderExchangeTest, EachProtocolRoundTripsOverHttps) {
  struct Row {
    ModelProvider provider;
    std::string basePath, path, query, authHeader, authValue, reply;
  };
  const Row rows[] = {
      {ModelProvider::openAICompatible, "/v1", "/v1/chat/completions", "", "Authorization",
       std::string("Bearer ") + kKey,
       R"({"choices":[{"message":{"role":"assistant","content":")" + std::string(kCandidates) + R"("}}]})"},
      {ModelProvider::openRouter, "/api/v1/", "/api/v1/chat/completions", "", "Authorization",
       std::string("Bearer ") + kKey,
       R"({"choices":[{"message":{"role":"assistant","content":")" + std::string(kCandidates) + R"("}}]})"},
      {ModelProvider::anthropic, "", "/v1/messages", "", "x-api-key", kKey,
       R"({"content":[{"type":"thinking","thinking":"","signature":"c2ln"},{"type":"text","text":")" +
           std::string(kCandidates) + R"("}]})"},
      {ModelProvider::gemini, "", "/v1beta/models/gemini-1.5-pro:generateContent", std::string("key=") + kKey,
       "", "", R"({"candidates":[{"content":{"parts":[{"text":")" + std::string(kCandidates) + R"("}]}}]})"},
  };
  TestHttpServer server({.tls = true});
  for (const auto& row : rows) {
    server.enqueue(CannedResponse::json(200, row.reply));
    const auto result = complete(row.provider, server.url(row.basePath), server);
    ASSERT_TRUE(result) << result.error().localizedDescription();
    ASSERT_EQ(result->candidates.size(), 2u);
    EXPECT_EQ(result->candidates[0].text, "你好");
    EXPECT_EQ(result->candidates[1].text, "再见");

    const auto recorded = server.requests().back();
    EXPECT_EQ(recorded.method, "POST");
    EXPECT_EQ(recorded.path, row.path);
    EXPECT_EQ(recorded.query, row.query);
    EXPECT_EQ(recorded.header("Content-Type"), "application/json");
    if (!row.authHeader.empty()) {
      EXPECT_EQ(recorded.header(row.authHeader), row.authValue);
    }
    EXPECT_EQ(recorded.header("anthropic-version"), row.provider == ModelProvider::anthropic
                                                        ? std::optional<std::string>("2023-06-01")
                                                        : std::nullopt);
    const auto body = json::parse(recorded.body);
    ASSERT_TRUE(body) << recorded.body;
    EXPECT_NE(recorded.body.find("/9j/"), std::string::npos) << "the image travels in base64";
    EXPECT_NE(recorded.body.find(R"(- candidates 数量为 2。)"), std::string::npos);
  }
}

TEST_F(ProviderExchangeTest, ErrorReplyArrivesAsTheServicesOwnText) {
  TestHttpServer server({.tls = true});
  const std::string overloaded = testing::testData("model-replies/anthropic-error-529-overloaded.json");
  server.enqueue(CannedResponse::json(529, overloaded));
  const auto busy = complete(ModelProvider::anthropic, server.url(), server);
  ASSERT_FALSE(busy);
  EXPECT_EQ(busy.error().localizedDescription(), "模型请求失败：" + overloaded);
}

}  // namespace
}  // namespace wrenfold
