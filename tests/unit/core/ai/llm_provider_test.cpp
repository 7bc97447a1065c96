#include "core/ai/llm_provider.h"

#include <gtest/gtest.h>

#include "provider_harness.h"

namespace wrenfold::testing {
namespace {

const ModelConfig kEveryProvider[] = {configFor(ModelProvider::openAICompatible),
                                      configFor(ModelProvider::anthropic), configFor(ModelProvider::gemini)};

TEST(LLMProviderTest, ErrorStatusCarriesTheServicesOwnMessage) {
  struct Row {
    ModelProvider provider;
    long status;
    std::string body;
    std::string_view message;
  };
  const Row rows[] = {
      {ModelProvider::openAICompatible, 401, fixture("openai-error-401-invalid-api-key.json"),
       "Incorrect API key provided: CHANGE_ME. You can find your API key at "
       "https://platform.openai.com/account/api-keys."},
      {ModelProvider::openRouter, 529, fixture("openrouter-error-529-openapi-example.json"),
       "Provider returned error"},
      {ModelProvider::anthropic, 401, fixture("anthropic-error-401-invalid-key.json"), "invalid x-api-key"},
      {ModelProvider::anthropic, 529, fixture("anthropic-error-529-overloaded.json"), "Overloaded"},
      {ModelProvider::gemini, 400, fixture("gemini-error-400-api-key-invalid.json"),
       "API key not valid. Please pass a valid API key.（INVALID_ARGUMENT）"},
      {ModelProvider::gemini, 503, fixture("gemini-error-503-unavailable.json"),
       "The model is overloaded. Please try again later.（UNAVAILABLE）"},
      // Ollama's own error shape, and JSON that is not an error object, which stays as sent.
      {ModelProvider::openAICompatible, 500, R"({"error":"llama runner process has terminated"})",
       "llama runner process has terminated"},
      {ModelProvider::anthropic, 500, R"({"error":{"code":500}})", R"({"error":{"code":500}})"},
  };
  for (const auto& row : rows) {
    const auto outcome = exchange(configFor(row.provider), sampleRequest(), reply(row.status, row.body));
    expectNetworkFailure(outcome.result, row.message);
  }
}

TEST(LLMProviderTest, ErrorBodyIsCutByUserPerceivedCharactersOrReplacedByTheStatus) {
  std::string cjk, combining;
  for (int i = 0; i < 1200; ++i) {
    cjk += "错";
    combining += "e\u0301";  // one character, two code points
  }
  const std::pair<HttpResponse, std::string> rows[] = {
      {reply(401, cjk), cjk.substr(0, 500 * 3)},
      {reply(401, combining), combining.substr(0, 500 * 3)},
      {reply(502, "\x89PNG\r\n\x1a\n\xff\xfe"), "HTTP 502"},
      {reply(503, ""), "HTTP 503"},
      {reply(504, " \r\n"), "HTTP 504"},
      {reply(302, "moved"), "moved"},
  };
  for (const auto& config : kEveryProvider) {
    for (const auto& [response, payload] : rows) {
      expectNetworkFailure(exchange(config, sampleRequest(), response).result, payload);
    }
  }
}

TEST(LLMProviderTest, OtherFailuresArePassedOnUnchanged) {
  const Failure transport = Failure::platform("无法连接到服务器");
  for (const auto& config : kEveryProvider) {
    EXPECT_EQ(exchange(config, sampleRequest(), std::unexpected(transport)).result.error(), transport);
    expectDecodingFailure(exchange(config, sampleRequest(), reply(200, "<html>Bad Gateway</html>")).result);
    expectDecodingFailure(exchange(config, sampleRequest(), reply(200, "")).result);
  }
}

TEST(LLMProviderTest, BlankReplyTextIsAnInvalidModelResponse) {
  const std::pair<ModelProvider, std::string_view> rows[] = {
      {ModelProvider::openAICompatible,
       R"({"choices":[{"message":{"role":"assistant","content":" \n\t "}}]})"},
      {ModelProvider::anthropic, R"({"content":[{"type":"text","text":"\n"},{"type":"text","text":" "}]})"},
      {ModelProvider::gemini, R"({"candidates":[{"content":{"parts":[{"text":"  "}]}}]})"},
  };
  for (const auto& [provider, body] : rows) {
    const auto result = exchange(configFor(provider), sampleRequest(), reply(200, std::string(body))).result;
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(AssistantError::Kind::invalidModelResponse));
  }
}

TEST(LLMProviderTest, TrimmedReplyGoesToTheParserWithTheExpectedCount) {
  const std::string body =
      R"({"candidates":[{"content":{"parts":[{"text":"\n {\"candidates\":[{\"text\":\"A\"},{\"text\":\"B\",)"
      R"(\"title\":\"t\",\"confidence\":0.9}]} \n"}]}}]})";
  for (const int count : {3, 1}) {
    LLMRequest request = sampleRequest();
    request.candidateCount = count;
    const auto result = exchange(configFor(ModelProvider::gemini), request, reply(200, body)).result;
    ASSERT_TRUE(result);
    EXPECT_EQ(result->rawText, R"({"candidates":[{"text":"A"},{"text":"B","title":"t","confidence":0.9}]})");
    ASSERT_EQ(result->candidates.size(), static_cast<std::size_t>(std::min(count, 2)));
    EXPECT_EQ(result->candidates[0].text, "A");
  }
}

TEST(LLMProviderTest, TheKeyNeverAppearsInAFailure) {
  const std::string key = "AIza-SECRET-key1234";
  const std::string echoed = R"({"error":{"code":400,"message":"API key not valid: )" + key + R"("}})";
  for (const auto& config : kEveryProvider) {
    const Result<HttpResponse> answers[] = {reply(400, echoed), reply(200, "{\"choices\":\"" + key + "\"}"),
                                            failPlatform("连接 https://h/?key=" + key + " 失败")};
    for (const auto& answer : answers) {
      const auto result = exchange(config, sampleRequest(), answer, key).result;
      ASSERT_FALSE(result);
      EXPECT_EQ(result.error().localizedDescription().find(key), std::string::npos)
          << result.error().localizedDescription();
    }
    EXPECT_EQ(
        exchange(config, sampleRequest(), reply(400, echoed), key).result.error().localizedDescription(),
        "模型请求失败：API key not valid: ***");
  }
}

TEST(LLMProviderTest, KeyWithLineBreaksIsRefusedBeforeSending) {
  // An empty key has nothing to mask (and must not make the masking loop).
  expectNetworkFailure(exchange(kEveryProvider[0], sampleRequest(), reply(400, "bad"), "").result, "bad");

  for (const auto& config : kEveryProvider) {
    const auto outcome = exchange(config, sampleRequest(), reply(200, "{}"), "sk-a\r\nX-Injected: 1");
    EXPECT_TRUE(outcome.sent.empty());
    expectNetworkFailure(outcome.result, "API Key 含有换行或其他控制字符");
  }
}

TEST(LLMProviderFactoryTest, PicksTheProtocolAndMovesOpenRouterOffTheOpenAIDefaultHost) {
  const std::tuple<ModelProvider, std::string, std::string> rows[] = {
      {ModelProvider::openRouter, "https://api.openai.com", "https://openrouter.ai/api/v1/chat/completions"},
      {ModelProvider::openRouter, " https://api.openai.com\n",
       "https://openrouter.ai/api/v1/chat/completions"},
      {ModelProvider::openRouter, "https://api.openai.com/", "https://api.openai.com/v1/chat/completions"},
      {ModelProvider::openRouter, "https://api.openai.com/v1", "https://api.openai.com/v1/chat/completions"},
      {ModelProvider::openAICompatible, "https://openrouter.ai/api/v1",
       "https://openrouter.ai/api/v1/chat/completions"},
      {ModelProvider::anthropic, "https://api.openai.com", "https://api.openai.com/v1/messages"},
      {ModelProvider::gemini, "https://api.openai.com",
       "https://api.openai.com/v1beta/models/gemini-2.5-flash:generateContent"},
  };
  for (const auto& [provider, baseURL, url] : rows) {
    EXPECT_EQ(exchange(configFor(provider, baseURL), sampleRequest(), reply(200, "{}")).sent.at(0).url, url);
  }
}

}  // namespace
}  // namespace wrenfold::testing
