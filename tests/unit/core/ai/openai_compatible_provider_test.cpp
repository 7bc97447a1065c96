#include <gtest/gtest.h>

#include "provider_harness.h"

namespace wrenfold::testing {
namespace {

const ModelConfig kOpenAI = configFor(ModelProvider::openAICompatible);

TEST(OpenAICompatibleProviderTest, SendsTheRequestExactly) {
  const auto plain =
      exchange(kOpenAI, sampleRequest(), reply(200, fixture("openai-success-recorded-single.json")));
  ASSERT_EQ(plain.sent.size(), 1u);
  const HttpRequest& request = plain.sent[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.url, "https://api.openai.com/v1/chat/completions");
  EXPECT_EQ(request.headers,
            (HeaderList{{"Content-Type", "application/json"}, {"Authorization", "Bearer sk-TEST-4711"}}));
  EXPECT_EQ(request.body, R"({"model":"gpt-4.1-mini","messages":[{"role":"system","content":"SYS 系统"},)"
                          R"({"role":"user","content":")" +
                              std::string(kSampleUserJson) +
                              R"("}],"temperature":0.45,"max_completion_tokens":900,"stream":false})");

  // Other servers keep the body they accept today.
  const auto withImage = exchange(configFor(ModelProvider::openAICompatible, "http://127.0.0.1:8080/v1"),
                                  sampleRequest(kSampleImage), reply(200, "{}"));
  EXPECT_EQ(withImage.sent.at(0).body,
            R"({"model":"gpt-4.1-mini","messages":[{"role":"system","content":"SYS 系统"},)"
            R"({"role":"user","content":[{"type":"text","text":")" +
                std::string(kSampleUserJson) +
                R"("},{"type":"image_url","image_url":{"url":"data:image/jpeg;base64,AP9hYmM="}}]}],)"
                R"("temperature":0.45,"max_tokens":900,"stream":false})");
}

// A remote model that refuses "max_tokens" is asked once more with "max_completion_tokens"; a
// server of one's own knows only "max_tokens" (and needs no key: none is sent when it is empty).
TEST(OpenAICompatibleProviderTest, RenamesMaxTokensOnlyForRemoteServices) {
  const auto refusal = reply(400, fixture("openai-error-400-max-tokens-unsupported.json"));
  const auto remote = exchange(configFor(ModelProvider::openAICompatible, "https://llm.example.test/v1"),
                               sampleRequest(), refusal);
  ASSERT_EQ(remote.sent.size(), 2u);
  EXPECT_NE(remote.sent[1].body.find(R"("max_completion_tokens":900)"), std::string::npos);
  const auto local = exchange(configFor(ModelProvider::openAICompatible, "http://192.168.1.20:8000/v1"),
                              sampleRequest(), refusal, "");
  ASSERT_EQ(local.sent.size(), 1u);
  EXPECT_EQ(local.sent[0].headers, (HeaderList{{"Content-Type", "application/json"}}));
}

TEST(OpenAICompatibleProviderTest, ComposesTheEndpointFromTheBaseURL) {
  const std::pair<std::string, std::string> rows[] = {
      {"https://api.openai.com/", "https://api.openai.com/v1/chat/completions"},
      {" https://api.example.com/v1/ \n", "https://api.example.com/v1/chat/completions"},
      {"https://openrouter.ai/api/v1", "https://openrouter.ai/api/v1/chat/completions"},
      {"http://localhost:11434/v1/chat/completions", "http://localhost:11434/v1/chat/completions"},
      {"https://h.example/openai", "https://h.example/openai/v1/chat/completions"},
      {"https://h.example/v1beta/openai", "https://h.example/v1beta/openai/chat/completions"},
      {"https://h.example/api/v3", "https://h.example/api/v3/chat/completions"},
      {"https://h.example/api/paas/v4", "https://h.example/api/paas/v4/chat/completions"},
      {"https://h.example/v1?api-version=2024-10",
       "https://h.example/v1/chat/completions?api-version=2024-10"},
      {"http://[::1]:8080", "http://[::1]:8080/v1/chat/completions"},
  };
  for (const auto& [baseURL, url] : rows) {
    const auto outcome =
        exchange(configFor(ModelProvider::openAICompatible, baseURL), sampleRequest(), reply(200, "{}"));
    ASSERT_EQ(outcome.sent.size(), 1u) << baseURL;
    EXPECT_EQ(outcome.sent[0].url, url);
  }
}

TEST(OpenAICompatibleProviderTest, UnusableBaseURLFailsBeforeSending) {
  // Empty gets no default; anything that is not an http(s) address with a host is refused
  // rather than handed to the HTTP client with the key.
  for (const std::string_view baseURL :
       {" \n", "///", "api.openai.com/v1", "localhost:8080", "ftp://h.example", "file:///etc/passwd",
        "https://exa mple.com", "https://h.example:99999", "https://h.example/%zz", "https://",
        "https://h.example/a#b#c"}) {
    ModelConfig config = kOpenAI;
    config.baseURL = std::string(baseURL);
    const auto outcome = exchange(config, sampleRequest(), reply(200, "{}"));
    EXPECT_TRUE(outcome.sent.empty()) << baseURL;
    expectNetworkFailure(outcome.result, "baseURL 无效");
  }
}

TEST(OpenAICompatibleProviderTest, ReadsTheFirstChoiceOfRealReplies) {
  const std::pair<std::string_view, std::string_view> texts[] = {
      {"openai-success-recorded-single.json",
       "I'm unable to provide real-time weather updates. To get the current weather in San Francisco, I "
       "recommend "
       "checking a reliable weather website or app like the Weather Channel or a local news station."},
      {"openrouter-success-openapi-example.json", "The capital of France is Paris."},
      {"openai-finish-length-recorded.json", "{\""},
  };
  for (const auto& [file, text] : texts) {
    expectReplyText(exchange(kOpenAI, sampleRequest(), reply(200, fixture(file))).result, text);
  }
  const auto twoChoices = R"({"choices":[{"message":{"role":"assistant","content":"  first \n"}},)"
                          R"({"message":{"role":"assistant","content":"second"}}]})";
  expectReplyText(exchange(kOpenAI, sampleRequest(), reply(200, twoChoices)).result, "first");
}

TEST(OpenAICompatibleProviderTest, RejectsRepliesWithoutAUsableContent) {
  const auto noChoices = exchange(kOpenAI, sampleRequest(), reply(200, R"({"choices":[]})")).result;
  ASSERT_FALSE(noChoices);
  EXPECT_TRUE(noChoices.error().is(AssistantError::Kind::invalidModelResponse));

  const auto refused =
      exchange(kOpenAI, sampleRequest(), reply(200, fixture("openai-refusal-recorded.json")));
  EXPECT_EQ(refused.result.error(),
            Failure::platform("模型拒绝了这次请求：I'm very sorry, but I can't assist with that."));

  for (const std::string& body :
       {fixture("openai-tool-calls-recorded-null-content.json"),
        std::string(
            R"({"choices":[{"message":{"role":"assistant","content":[{"type":"text","text":"x"}]}}]})"),
        std::string(R"({"choices":[{"message":{"content":"no role"}}]})"),
        std::string(R"({"choices":[{"message":{"role":"assistant","content":"ok"}},{"message":null}]})"),
        std::string(R"({"object":"chat.completion"})")}) {
    expectDecodingFailure(exchange(kOpenAI, sampleRequest(), reply(200, body)).result);
  }
}

}  // namespace
}  // namespace wrenfold::testing
