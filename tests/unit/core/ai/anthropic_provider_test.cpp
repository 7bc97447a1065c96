#include <gtest/gtest.h>

#include "provider_harness.h"

namespace wrenfold::testing {
namespace {

const ModelConfig kAnthropic = configFor(ModelProvider::anthropic);

TEST(AnthropicProviderTest, SendsTheRequestExactly) {
  const auto outcome = exchange(kAnthropic, sampleRequest(kSampleImage), reply(200, "{}"));
  ASSERT_EQ(outcome.sent.size(), 1u);
  const HttpRequest& request = outcome.sent[0];
  EXPECT_EQ(request.url, "https://api.anthropic.com/v1/messages");
  EXPECT_EQ(request.headers, (HeaderList{{"Content-Type", "application/json"},
                                         {"x-api-key", "sk-TEST-4711"},
                                         {"anthropic-version", "2023-06-01"}}));
  EXPECT_EQ(request.body,
            R"({"model":"claude-sonnet-4-5","max_tokens":900,"temperature":0.45,)"
            R"("system":"SYS 系统","messages":[{"role":"user","content":[{"type":"text","text":")" +
                std::string(kSampleUserJson) +
                R"("},{"type":"image","source":{"type":"base64","media_type":"image/jpeg",)"
                R"("data":"AP9hYmM="}}]}]})");

  LLMRequest plain = sampleRequest();
  plain.system.clear();
  const auto withoutImage = exchange(kAnthropic, plain, reply(200, "{}"));
  EXPECT_EQ(withoutImage.sent.at(0).body, R"({"model":"claude-sonnet-4-5","max_tokens":900,)"
                                          R"("temperature":0.45,"system":"","messages":[{"role":"user",)"
                                          R"("content":[{"type":"text","text":")" +
                                              std::string(kSampleUserJson) + R"("}]}]})");
}

TEST(AnthropicProviderTest, ComposesTheEndpointFromTheBaseURL) {
  const std::pair<std::string, std::string> rows[] = {
      {" \n", "https://api.anthropic.com/v1/messages"},
      {"https://api.anthropic.com/v1/messages/", "https://api.anthropic.com/v1/messages"},
      {"https://proxy.example/v1", "https://proxy.example/v1/messages"},
      {"https://proxy.example", "https://proxy.example/v1/messages"},
      {"https://proxy.example/anthropic", "https://proxy.example/anthropic/v1/messages"},
  };
  for (const auto& [baseURL, url] : rows) {
    ModelConfig config = kAnthropic;
    config.baseURL = baseURL;
    EXPECT_EQ(exchange(config, sampleRequest(), reply(200, "{}")).sent.at(0).url, url);
  }
  ModelConfig invalid = kAnthropic;
  invalid.baseURL = "anthropic";
  expectNetworkFailure(exchange(invalid, sampleRequest(), reply(200, "{}")).result, "baseURL 无效");
}

TEST(AnthropicProviderTest, JoinsTheTextsOfRealReplies) {
  const std::pair<std::string_view, std::string_view> texts[] = {
      {"anthropic-success-recorded-text.json",
       R"({"items":[{"product_name":"Green Tea","price":5.50,"quantity":2},)"
       R"({"product_name":"Coffee","price":3.00,"quantity":1}],"total":14.0})"},
      // Server tool blocks without "text" come first; the blank middle block stays.
      {"anthropic-success-recorded-several-text-blocks.json",
       "Today in San Francisco, there are showers with breezy and cool conditions, with a high of 52°F.\n \n"
       "Tonight will be cloudy, becoming windier and chilly, with a shower or two this evening followed by "
       "heavy "
       "rain late, and watch for flooding on streets and poor drainage areas with a low of 45°F."},
      // A thinking block with its text omitted precedes the answer.
      {"anthropic-thinking-omitted-then-text.json", "Here is the polished sentence."},
  };
  for (const auto& [file, text] : texts) {
    expectReplyText(exchange(kAnthropic, sampleRequest(), reply(200, fixture(file))).result, text);
  }
  const auto toolUse = exchange(kAnthropic, sampleRequest(),
                                reply(200, fixture("anthropic-success-recorded-text-and-tool-use.json")));
  ASSERT_TRUE(toolUse.result);
  EXPECT_TRUE(toolUse.result->rawText.starts_with("# The Wonderful World of Companion Animals"));
  EXPECT_EQ(toolUse.result->rawText.find("submit_analysis"), std::string::npos);

  const auto twoBlocks = R"({"content":[{"type":"text","text":"A"},{"text":"B"}]})";
  expectReplyText(exchange(kAnthropic, sampleRequest(), reply(200, twoBlocks)).result, "A\nB");
}

TEST(AnthropicProviderTest, RejectsRepliesWithoutText) {
  const std::pair<const char*, Failure> stops[] = {
      {"anthropic-refusal-sdk-mock.json",
       Failure::platform("模型拒绝了这次请求。请调整上下文或指令后重试。")},
      {"anthropic-thinking-only-max-tokens.json", llm_exchange::tokenLimitFailure()},
  };
  for (const auto& [file, failure] : stops) {
    EXPECT_EQ(exchange(kAnthropic, sampleRequest(), reply(200, fixture(file))).result.error(), failure)
        << file;
  }
  const auto empty = exchange(kAnthropic, sampleRequest(), reply(200, R"({"content":[]})")).result;
  EXPECT_TRUE(empty.error().is(AssistantError::Kind::invalidModelResponse));
  for (const std::string_view body : {R"({"content":[{"type":"text"},{"type":"text","text":"B"}]})",
                                      R"({"content":[{"type":"text","text":null}]})",
                                      R"({"content":[{"citations":[]},{"type":"text","text":"B"}]})",
                                      R"({"content":[{"type":7,"text":"A"}]})", R"({"content":["A"]})",
                                      R"({"type":"message","role":"assistant"})"}) {
    expectDecodingFailure(exchange(kAnthropic, sampleRequest(), reply(200, std::string(body))).result);
  }
}

}  // namespace
}  // namespace wrenfold::testing
