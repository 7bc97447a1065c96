#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/ai/chat_parameter_memory.h"
#include "core/ai/connection_test.h"
#include "core/ai/curl_http_client.h"
#include "core/ai/llm_provider_factory.h"
#include "core/ai/model_catalog.h"
#include "core/ai/response_parser.h"
#include "core/platform/run_loop_main_queue.h"
#include "support/temp_dir.h"
#include "support/test_http_server.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::CannedResponse;
using testing::TestHttpServer;

constexpr const char* kKey = "sk-LOOPBACK-4711";

class ProviderExchangeTest : public ::testing::Test {
 protected:
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

  RunLoopMainQueue queue;
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

// Current OpenAI reasoning models refuse any temperature but the default (and "max_tokens",
// renamed for remote services only: see the unit test): the request goes once more without it,
// and later requests for that model are right at once.
TEST_F(ProviderExchangeTest, RefusedParameterIsDroppedOnceAndRemembered) {
  struct Row {
    std::string_view refusal;
    std::string_view firstHas, retryHas, retryLacks;
  };
  const Row rows[] = {
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
  const auto check = [&](ModelProvider provider, const std::string& key, std::string address = {}) {
    return await<Result<std::chrono::milliseconds>>(server, [&](ProviderSession session,
                                                                ConnectionTest::Completion done) {
      ConnectionTest::run(configFor(provider, address.empty() ? server.url("/v1") : address, "local-model"),
                          key, session, clock, std::move(done));
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

  // A 200 not in the protocol says what came back; only a local server is asked without a key.
  CannedResponse page = CannedResponse::json(200, "<!DOCTYPE html><p>路由器管理页面</p>");
  page.headers = {{"Content-Type", "text/html; charset=utf-8"}};
  const std::pair<CannedResponse, std::string> foreign[] = {
      {page, "地址返回的不是模型服务的响应（HTML 页面）"},
      {CannedResponse::json(200, R"({"error":"model \"local-model\" not found, try pulling it first"})"),
       R"(模型请求失败：model "local-model" not found, try pulling it first)"},
  };
  for (const auto& [answer, message] : foreign) {
    server.enqueue(answer);
    EXPECT_EQ(check(ModelProvider::openAICompatible, " ").error().localizedDescription(), message);
    EXPECT_EQ(server.requests().back().header("Authorization"), std::nullopt);
  }
  EXPECT_EQ(check(ModelProvider::gemini, " ", "https://llm.example.test").error(), missingKeyFailure());
  EXPECT_EQ(server.requests().size(), 4u);
}

// Ollama lists its models at "/api/tags" when "/v1/models" fails (the reply in the shape its API
// documents); a local server gets no key when none is typed.
TEST_F(ProviderExchangeTest, LocalModelListFallsBackToOllamasOwnList) {
  TestHttpServer server;
  server.enqueue(CannedResponse::json(404, R"({"error":"404 page not found"})"));
  server.enqueue(CannedResponse::json(
      200, R"({"models":[{"name":"qwen2.5:7b","size":4683087332},{"name":"llama3.2:3b"}]})"));
  const auto models = await<Result<std::vector<std::string>>>(
      server, [&](ProviderSession session, ModelCatalog::Completion done) {
        ModelCatalog::fetch(configFor(ModelProvider::openAICompatible, server.url("/v1")), "", session,
                            std::move(done));
      });
  ASSERT_TRUE(models) << models.error().localizedDescription();
  EXPECT_EQ(*models, (std::vector<std::string>{"qwen2.5:7b", "llama3.2:3b"}));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[1].target, "/api/tags");
  EXPECT_EQ(server.requests()[1].header("Authorization"), std::nullopt);
}

// ---- streamed replies ----

// A streamed reply fixture, each event sent after `pause`.
CannedResponse streamed(std::string_view name, std::chrono::milliseconds pause = 40ms) {
  return CannedResponse::events(fixture(name), pause);
}

// What the model wrote in every *-stream.sse fixture, in three pieces.
constexpr std::string_view kStreamedText =
    R"({"candidates":[{"text":"早上好","title":"问候"},{"text":"明天见"},{"text":"好的，十点见"}]})";

struct StreamRun {
  Result<LLMResponse> result = failPlatform("no completion");
  std::vector<std::vector<GeneratedCandidate>> shown;  // each list handed out before the end
};

class StreamExchangeTest : public ProviderExchangeTest {
 protected:
  StreamRun stream(ModelProvider provider, const TestHttpServer& server) {
    ModelConfig config = configFor(provider, server.url());
    config.streamReplies = true;
    CurlHttpClient client(queue, HttpClientOptions{});
    StreamRun run;
    bool done = false;
    ProviderSession session{client, queue};
    session.onCandidates = [&](const std::vector<GeneratedCandidate>& soFar) { run.shown.push_back(soFar); };
    const LLMRequest request{"系统", "用户", std::nullopt, 0.45, 900, 3};
    LLMProviderFactory::make(config, kKey, std::move(session))->complete(request, [&](Result<LLMResponse> r) {
      run.result = std::move(r);
      done = true;
    });
    (void)queue.runUntil([&] { return done; }, 20s);
    return run;
  }
};

TEST_F(StreamExchangeTest, CandidatesShowAsTheyCompleteAndEndAsTheWholeReplyWould) {
  const auto whole = ResponseParser::parse(kStreamedText, 3);
  ASSERT_TRUE(whole);
  struct Row {
    ModelProvider provider;
    const char* fixture;
    const char* target;
  };
  for (const Row& row : {Row{ModelProvider::openAICompatible, "openai-stream.sse", "/v1/chat/completions"},
                         Row{ModelProvider::openRouter, "openrouter-stream.sse", "/v1/chat/completions"},
                         Row{ModelProvider::anthropic, "anthropic-stream.sse", "/v1/messages"},
                         Row{ModelProvider::gemini, "gemini-stream.sse",
                             "/v1beta/models/gemini-2.5-flash:streamGenerateContent?alt=sse"}}) {
    SCOPED_TRACE(row.fixture);
    TestHttpServer server;
    server.enqueue(streamed(row.fixture));
    const StreamRun run = stream(row.provider, server);
    ASSERT_TRUE(run.result) << run.result.error().localizedDescription();
    const auto& final = run.result->candidates;
    ASSERT_EQ(final.size(), whole->size());
    for (std::size_t i = 0; i < final.size(); ++i) {
      EXPECT_EQ(final[i].text, (*whole)[i].text);
      EXPECT_EQ(final[i].title, (*whole)[i].title);
      EXPECT_EQ(final[i].confidence, (*whole)[i].confidence);
    }
    // Shown before the end, growing, and the final list keeps the ids of what was shown.
    ASSERT_FALSE(run.shown.empty());
    EXPECT_LT(run.shown.front().size(), final.size());
    for (std::size_t i = 1; i < run.shown.size(); ++i) {
      EXPECT_GT(run.shown[i].size(), run.shown[i - 1].size());
    }
    for (std::size_t i = 0; i < run.shown.back().size(); ++i) {
      EXPECT_EQ(run.shown.back()[i].id, final[i].id);
    }
    const auto recorded = server.requests().at(0);
    EXPECT_EQ(recorded.target, row.target);
    EXPECT_EQ(row.provider == ModelProvider::gemini ? json::Json() : json::parse(recorded.body)->at("stream"),
              row.provider == ModelProvider::gemini ? json::Json() : json::Json(true));
  }
}

TEST_F(StreamExchangeTest, ErrorsCutsAndPlainRepliesEndAsTheyWouldWithoutStreaming) {
  struct Row {
    ModelProvider provider;
    CannedResponse response;
    std::string message;  // empty: succeeds with the fixture's candidates
  };
  CannedResponse dropped = streamed("openai-stream.sse");
  dropped.stream.resize(3);
  dropped.streamIsCut = true;
  CannedResponse unfinished = streamed("openai-stream.sse");
  unfinished.stream.resize(4);  // ends cleanly, but before the finish reason and "[DONE]"
  const std::string plain = R"({"choices":[{"message":{"role":"assistant","content":)" +
                            json::Json(std::string(kStreamedText)).dump() + "}}]}";
  const Row rows[] = {
      // The same words as the service's error reply without streaming.
      {ModelProvider::anthropic, streamed("anthropic-stream-error.sse"), "模型请求失败：Overloaded"},
      {ModelProvider::openRouter, streamed("openrouter-stream-error.sse"),
       "模型请求失败：Provider disconnected unexpectedly"},
      {ModelProvider::anthropic, CannedResponse::json(529, fixture("anthropic-error-529-overloaded.json")),
       "模型请求失败：Overloaded"},
      {ModelProvider::openAICompatible, dropped, "网络连接已中断。"},
      {ModelProvider::openAICompatible, unfinished, "网络连接已中断。"},
      {ModelProvider::openAICompatible, CannedResponse::json(200, plain), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    TestHttpServer server;
    server.enqueue(row.response);
    const StreamRun run = stream(row.provider, server);
    if (row.message.empty()) {
      ASSERT_TRUE(run.result) << run.result.error().localizedDescription();
      EXPECT_EQ(run.result->candidates.size(), 3u);
    } else {
      ASSERT_FALSE(run.result);
      EXPECT_EQ(run.result.error().localizedDescription(), row.message);
    }
  }
}

// An event stream cut every `size` bytes, wherever that falls (inside a line, a CR LF or a
// character).
CannedResponse inPieces(std::string_view sse, std::size_t size) {
  CannedResponse response = CannedResponse::events(sse, 0ms);
  std::string all;
  for (const auto& [pause, piece] : response.stream) {
    all += piece;
  }
  response.stream.clear();
  for (std::size_t at = 0; at < all.size(); at += size) {
    response.stream.emplace_back(0ms, all.substr(at, size));
  }
  return response;
}

// What the servers people run themselves send (reasoning models, envelopes of plain strings),
// whole and streamed in 7-byte pieces: the candidates and never the reasoning, none shown before
// the reasoning ended, and a reply cut off while thinking says to raise the token limit.
TEST_F(StreamExchangeTest, LocalServersGiveTheCandidatesAndNeverTheReasoning) {
  struct Row {
    ModelProvider provider;
    const char* fixture;             // the reply whole (.json); its stream is "<server>-stream-<rest>.sse"
    std::vector<std::string> texts;  // empty: fails with the token-limit message
  };
  const Row rows[] = {
      {ModelProvider::openAICompatible,
       "llamacpp-reasoning-content",
       {"好的，明天上午 10 点见！", "收到，10 点会议室见。", "OK，我会准时到。"}},
      {ModelProvider::openAICompatible,
       "ollama-reasoning",
       {"没问题，我来处理。", "收到！今天下班前给你 PR。"}},
      {ModelProvider::openAICompatible,
       "vllm-lone-think",
       {"抱歉，周四下午 3 点可以吗？", "Sorry，改到周四 3 点行吗？"}},
      {ModelProvider::openAICompatible, "lmstudio-think-length", {}},
      {ModelProvider::openAICompatible, "ollama-think-length", {}},
      {ModelProvider::openAICompatible, "vllm-reasoning-content-length", {}},
      {ModelProvider::gemini, "gemini-success-thought-summary", {"Mountain View"}},
  };
  for (const Row& row : rows) {
    const std::string name = row.fixture;
    const std::string sse = name.substr(0, name.find('-')) + "-stream" + name.substr(name.find('-')) + ".sse";
    for (const bool streamedReply : {false, true}) {
      SCOPED_TRACE(streamedReply ? sse : name);
      if (streamedReply &&
          !std::filesystem::exists(std::string(WRENFOLD_TEST_DATA_DIR) + "/model-replies/" + sse)) {
        continue;
      }
      TestHttpServer server;
      server.enqueue(streamedReply ? inPieces(fixture(sse), 7)
                                   : CannedResponse::json(200, fixture(name + ".json")));
      const StreamRun run = stream(row.provider, server);
      std::vector<std::string> texts;
      for (const auto& candidate : run.result ? run.result->candidates : std::vector<GeneratedCandidate>{}) {
        texts.push_back(candidate.text);
      }
      EXPECT_EQ(texts, row.texts);
      if (row.texts.empty()) {
        EXPECT_EQ(run.result.error().localizedDescription(),
                  llm_exchange::tokenLimitFailure().localizedDescription());
      }
      for (const auto& shown : run.shown) {
        for (std::size_t i = 0; i < shown.size(); ++i) {
          EXPECT_EQ(shown[i].text, texts.at(i));
          EXPECT_EQ(shown[i].id, run.result->candidates.at(i).id);
        }
      }
    }
  }
}

}  // namespace
}  // namespace wrenfold
