#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "core/ai/chat_parameter_memory.h"
#include "core/ai/connection_test.h"
#include "core/ai/curl_http_client.h"
#include "core/ai/llm_provider_factory.h"
#include "core/ai/model_catalog.h"
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

  static ModelConfig configFor(ModelProvider provider, std::string baseURL, std::string model = {}) {
    ModelConfig config = ModelConfig::defaultConfig();
    config.provider = provider;
    config.baseURL = std::move(baseURL);
    config.model = model.empty() ? std::string(provider.defaultModel()) : std::move(model);
    return config;
  }

  // Runs `start` with a client for `server` and waits for the one completion it reports.
  template <class T>
  T await(const TestHttpServer& server,
          const std::function<void(ProviderSession, std::function<void(T)>)>& start,
          std::shared_ptr<ChatParameterMemory> memory = nullptr) {
    HttpClientOptions options;
    options.caBundlePath = server.caBundlePath();
    CurlHttpClient client(queue, options);
    std::optional<T> result;
    start(ProviderSession{client, queue, std::move(memory)}, [&](T r) { result = std::move(r); });
    EXPECT_TRUE(queue.runUntil([&] { return result.has_value(); }, 20s)) << "no completion";
    return result.value_or(T(failPlatform("no completion")));
  }

  Result<LLMResponse> complete(const ModelConfig& config, const TestHttpServer& server,
                               std::shared_ptr<ChatParameterMemory> memory = nullptr) {
    const LLMRequest request{"系统", "用户", LLMImage{"\xff\xd8\xff", "image/jpeg"}, 0.45, 900, 2};
    return await<Result<LLMResponse>>(
        server,
        [&](ProviderSession session, LLMProvider::Completion done) {
          LLMProviderFactory::make(config, kKey, std::move(session))->complete(request, std::move(done));
        },
        std::move(memory));
  }

  BlockingMainQueue queue;
};

std::string fixture(std::string_view name) {
  return testing::testData("model-replies/" + std::string(name));
}

std::string successBody(ModelProvider provider) {
  switch (provider.value()) {
    case ModelProvider::anthropic:
      return fixture("anthropic-success-recorded-text.json");
    case ModelProvider::gemini:
      return fixture("gemini-success-basic.json");
    default:
      return fixture("openai-success-recorded-single.json");
  }
}

// Current OpenAI reasoning models refuse "max_tokens" and any temperature but the default: the
// request goes once more without it, and later requests for that model are right at once.
TEST_F(ProviderExchangeTest, RefusedParameterIsDroppedOnceAndRemembered) {
  struct Row {
    std::string_view refusal;
    std::string_view firstHas, retryHas, retryLacks;
  };
  const Row rows[] = {
      {"openai-error-400-max-tokens-unsupported.json", R"("max_tokens":900)",
       R"("max_completion_tokens":900)", R"("max_tokens")"},
      {"openai-error-400-temperature-unsupported-value.json", R"("temperature":0.45)", R"("max_tokens":900)",
       R"("temperature")"},
  };
  for (const auto& row : rows) {
    TestHttpServer server;
    const auto memory = std::make_shared<ChatParameterMemory>();
    const ModelConfig config = configFor(ModelProvider::openAICompatible, server.url("/v1"), "gpt-5");
    server.enqueue(CannedResponse::json(400, fixture(row.refusal)));
    server.enqueue(CannedResponse::json(200, successBody(ModelProvider::openAICompatible)));
    ASSERT_TRUE(complete(config, server, memory)) << row.refusal;
    auto sent = server.requests();
    ASSERT_EQ(sent.size(), 2u) << row.refusal;
    EXPECT_NE(sent[0].body.find(row.firstHas), std::string::npos) << sent[0].body;
    EXPECT_NE(sent[1].body.find(row.retryHas), std::string::npos) << sent[1].body;
    EXPECT_EQ(sent[1].body.find(row.retryLacks), std::string::npos) << sent[1].body;

    server.enqueue(CannedResponse::json(200, successBody(ModelProvider::openAICompatible)));
    ASSERT_TRUE(complete(config, server, memory));
    sent = server.requests();
    ASSERT_EQ(sent.size(), 3u) << "one request once the model is known";
    EXPECT_EQ(sent[2].body.find(row.retryLacks), std::string::npos) << sent[2].body;

    // A server that keeps refusing the same parameter is not asked again and again.
    server.enqueue(CannedResponse::json(400, fixture(row.refusal)));
    server.enqueue(CannedResponse::json(400, fixture(row.refusal)));
    const auto refused =
        complete(configFor(ModelProvider::openAICompatible, server.url("/v1"), "o3"), server);
    EXPECT_FALSE(refused);
    EXPECT_EQ(server.requests().size(), 5u);
  }
}

// Replies that hold no candidates say why, in the service's words or ours.
TEST_F(ProviderExchangeTest, RepliesWithoutTextSayWhatHappened) {
  const std::string missing = "模型请求失败：服务没有名为“";
  const std::string pickAnother = "”的模型，或此 API Key 无权使用它。请在“模型”中换一个服务列出的模型。（";
  const std::string tokenLimit = llm_exchange::tokenLimitFailure().localizedDescription();
  struct Row {
    ModelProvider provider;
    std::string model;
    int status;
    std::string body;
    std::string description;
  };
  const Row rows[] = {
      {ModelProvider::openAICompatible, "gpt-4.1-mini-retired", 404,
       fixture("openai-error-404-model-not-found.json"),
       missing + "gpt-4.1-mini-retired" + pickAnother +
           "The model `gpt-4.1-mini-retired` does not exist or you do not have access to it.）"},
      {ModelProvider::openRouter, "openai/gpt-4.1-mini-retired", 400,
       fixture("openrouter-error-400-invalid-model.json"),
       missing + "openai/gpt-4.1-mini-retired" + pickAnother +
           "openai/gpt-4.1-mini-retired is not a valid model ID）"},
      {ModelProvider::anthropic, "claude-3-5-sonnet-latest", 404,
       fixture("anthropic-error-404-model-not-found.json"),
       missing + "claude-3-5-sonnet-latest" + pickAnother + "model: claude-3-5-sonnet-latest）"},
      {ModelProvider::gemini, "gemini-5.0-flash", 404, fixture("gemini-error-404-unknown-model.json"),
       missing + "gemini-5.0-flash" + pickAnother +
           "models/gemini-5.0-flash is not found for API version v1, or is not supported for "
           "generateContent. Call "
           "ListModels to see the list of available models and their supported methods.（NOT_FOUND））"},
      {ModelProvider::openAICompatible, "gpt-4o", 200, fixture("openai-refusal-recorded.json"),
       "模型拒绝了这次请求：I'm very sorry, but I can't assist with that."},
      {ModelProvider::gemini, "gemini-2.5-pro", 200, fixture("gemini-max-tokens-no-text.json"), tokenLimit},
      {ModelProvider::gemini, "m", 200, R"({"candidates":[{"finishReason":"SAFETY","index":0}]})",
       "Gemini 的安全设置拦下了这次回复。请调整上下文或指令后重试。"},
      {ModelProvider::gemini, "m", 200, fixture("gemini-finish-recitation-no-content.json"),
       "Gemini 停止了回复：内容与已有的受版权保护的材料过于相似。请换个说法或换一段上下文后重试。"},
      {ModelProvider::gemini, "m", 200, fixture("gemini-finish-prohibited-content.json"),
       "Gemini 按其内容政策拦下了这次回复（PROHIBITED_CONTENT）。请调整上下文或指令后重试。"},
      {ModelProvider::gemini, "m", 200, fixture("gemini-prompt-blocked.json"),
       "Gemini 拦下了这次请求（PROHIBITED_CONTENT）。请调整上下文或指令后重试。"},
      {ModelProvider::gemini, "m", 200, fixture("gemini-prompt-feedback-empty-candidates.json"),
       "Gemini 拦下了这次请求（未说明原因：Message）。请调整上下文或指令后重试。"},
      {ModelProvider::gemini, "m", 200, fixture("gemini-candidate-without-content.json"),
       "Gemini 没有返回文字（结束原因：OTHER，Model failed to generate content due to internal error.）。"},
  };
  TestHttpServer server;
  for (const auto& row : rows) {
    server.enqueue(CannedResponse::json(row.status, row.body));
    const auto result = complete(configFor(row.provider, server.url(), row.model), server);
    ASSERT_FALSE(result) << row.description;
    EXPECT_EQ(result.error().localizedDescription(), row.description);
  }
  // A stop with text keeps the text.
  server.enqueue(CannedResponse::json(200, fixture("gemini-finish-reason-safety.json")));
  EXPECT_TRUE(complete(configFor(ModelProvider::gemini, server.url()), server));
}

TEST_F(ProviderExchangeTest, ModelListOfEachProtocolFollowsItsPages) {
  struct Row {
    ModelProvider provider;
    std::string basePath;
    std::vector<std::string> pages, targets, models;
    std::string authHeader, authValue;
  };
  const std::string bearer = std::string("Bearer ") + kKey;
  const Row rows[] = {
      {ModelProvider::openAICompatible,
       "/v1",
       {"openai-models-list.json"},
       {"/v1/models"},
       {"gpt-4.1-mini", "gpt-5", "o4-mini"},
       "Authorization",
       bearer},
      // llama.cpp's llama-server at its bare address; Ollama and LM Studio answer the same way.
      {ModelProvider::openAICompatible,
       "",
       {"llamacpp-models-list.json"},
       {"/v1/models"},
       {"qwen2.5-7b-instruct-q4_k_m.gguf"},
       "Authorization",
       bearer},
      {ModelProvider::openRouter,
       "/api/v1/chat/completions",
       {"openai-models-list.json"},
       {"/api/v1/models"},
       {"gpt-4.1-mini", "gpt-5", "o4-mini"},
       "Authorization",
       bearer},
      {ModelProvider::anthropic,
       "",
       {"anthropic-models-page-1.json", "anthropic-models-page-2.json"},
       {"/v1/models?limit=1000", "/v1/models?limit=1000&after_id=claude-opus-4-1-20250805"},
       {"claude-sonnet-4-5-20250929", "claude-opus-4-1-20250805", "claude-3-5-haiku-20241022"},
       "x-api-key",
       kKey},
      {ModelProvider::gemini,
       "/v1beta",
       {"gemini-models-page-1.json", "gemini-models-page-2.json"},
       {"/v1beta/models?pageSize=1000", "/v1beta/models?pageSize=1000&pageToken=Cg9tb2RlbHMvZ2VtaW5pLTI%3D"},
       {"gemini-2.5-flash", "gemini-2.5-pro"},
       "x-goog-api-key",
       kKey},
  };
  for (const auto& row : rows) {
    TestHttpServer server;
    for (const auto& page : row.pages) {
      server.enqueue(CannedResponse::json(200, fixture(page)));
    }
    const auto models = await<Result<std::vector<std::string>>>(
        server, [&](ProviderSession session, ModelCatalog::Completion done) {
          ModelCatalog::fetch(configFor(row.provider, server.url(row.basePath)), std::string(" ") + kKey,
                              session, std::move(done));
        });
    ASSERT_TRUE(models) << models.error().localizedDescription();
    EXPECT_EQ(*models, row.models);
    const auto sent = server.requests();
    ASSERT_EQ(sent.size(), row.targets.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      EXPECT_EQ(sent[i].method, "GET");
      EXPECT_EQ(sent[i].target, row.targets[i]);
      EXPECT_EQ(sent[i].header(row.authHeader), row.authValue);
    }
  }
}

TEST_F(ProviderExchangeTest, ConnectionTestProvesTheModelOrGivesTheServicesReason) {
  TestHttpServer server;
  const SystemClock clock;
  const auto check = [&](ModelProvider provider, const std::string& key) {
    return await<Result<std::chrono::milliseconds>>(
        server, [&](ProviderSession session, ConnectionTest::Completion done) {
          ConnectionTest::run(configFor(provider, server.url("/v1"), "local-model"), key, session, clock,
                              std::move(done));
        });
  };
  server.enqueue(CannedResponse::json(200, fixture("openai-finish-length-recorded.json")));
  EXPECT_TRUE(check(ModelProvider::openAICompatible, kKey));
  const auto body = json::parse(server.requests().back().body);
  ASSERT_TRUE(body);
  EXPECT_EQ(body->at("model"), "local-model");
  EXPECT_EQ(body->at("messages").size(), 1u);
  EXPECT_EQ(body->at("max_tokens"), llm_exchange::kCheckMaxTokens);

  server.enqueue(CannedResponse::json(401, fixture("anthropic-error-401-invalid-key.json")));
  const auto refused = check(ModelProvider::anthropic, kKey);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().localizedDescription(), "模型请求失败：invalid x-api-key");

  EXPECT_EQ(check(ModelProvider::gemini, " ").error(), missingKeyFailure());
  EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
}  // namespace wrenfold
