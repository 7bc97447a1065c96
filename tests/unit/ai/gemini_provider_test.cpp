#include <gtest/gtest.h>

#include "provider_harness.h"

namespace wrenfold::testing {
namespace {

const ModelConfig kGemini = configFor(ModelProvider::gemini);

TEST(GeminiProviderTest, SendsTheRequestExactlyWithTheKeyOnlyInTheURL) {
  const auto outcome = exchange(kGemini, sampleRequest(kSampleImage), reply(200, "{}"));
  ASSERT_EQ(outcome.sent.size(), 1u);
  const HttpRequest& request = outcome.sent[0];
  EXPECT_EQ(request.url,
            "https://generativelanguage.googleapis.com/v1beta/models/"
            "gemini-1.5-pro:generateContent?key=sk-TEST-4711");
  EXPECT_EQ(request.headers, (HeaderList{{"Content-Type", "application/json"}}));
  EXPECT_EQ(request.body,
            R"({"systemInstruction":{"parts":[{"text":"SYS 系统"}]},"contents":[{"parts":[{"text":")" +
                std::string(kSampleUserJson) +
                R"("},{"inlineData":{"mimeType":"image/jpeg","data":"AP9hYmM="}}]}],)"
                R"("generationConfig":{"temperature":0.45,"maxOutputTokens":900}})");
}

TEST(GeminiProviderTest, ComposesTheEndpointWithModelAndKey) {
  struct Row {
    std::string baseURL, model, apiKey, url;
  };
  const Row rows[] = {
      {"", "gemini-1.5-pro", "k",
       "https://generativelanguage.googleapis.com/v1beta/models/gemini-1.5-pro:generateContent?key=k"},
      {"https://g.example/v1beta/models/gemini-2.0-flash:generateContent/", "ignored", "k",
       "https://g.example/v1beta/models/gemini-2.0-flash:generateContent?key=k"},
      {"https://g.example/proxy?alt=json", "m", "k",
       "https://g.example/proxy/v1beta/models/m:generateContent?alt=json&key=k"},
      {"https://g.example/?key=old", "m", "k",
       "https://g.example/v1beta/models/m:generateContent?key=old&key=k"},
      {"https://g.example", "tuned models/x?y#z", "a+b/c=d&e",
       "https://g.example/v1beta/models/tuned%20models/x%3Fy%23z:generateContent?key=a%2Bb%2Fc%3Dd%26e"},
  };
  for (const auto& row : rows) {
    ModelConfig config = kGemini;
    config.baseURL = row.baseURL;
    config.model = row.model;
    EXPECT_EQ(exchange(config, sampleRequest(), reply(200, "{}"), row.apiKey).sent.at(0).url, row.url);
  }
}

TEST(GeminiProviderTest, JoinsTheTextPartsOfRealReplies) {
  const std::pair<std::string_view, std::string_view> texts[] = {
      {"gemini-success-basic.json",
       "Google's headquarters, also known as the Googleplex, is located in **Mountain View, California**."},
      // A text part, an empty part and an image part: only the text counts.
      {"gemini-empty-item-vertex.json",
       "I can certainly help you with that! Here's your 3D rendered image of a pig with wings and a top hat "
       "flying "
       "over a happy futuristic sci-fi city with lots of greenery:"},
  };
  for (const auto& [file, text] : texts) {
    expectReplyText(exchange(kGemini, sampleRequest(), reply(200, fixture(file))).result, text);
  }
  const auto twoCandidates =
      R"({"candidates":[{"content":{"parts":[{"text":"A"}]}},{"content":{"parts":[{"text":"B"}]}}]})";
  expectReplyText(exchange(kGemini, sampleRequest(), reply(200, twoCandidates)).result, "A\nB");
}

TEST(GeminiProviderTest, RejectsRepliesWithoutTextParts) {
  for (const std::string& body : {fixture("gemini-prompt-feedback-empty-candidates.json"),
                                  std::string(R"({"candidates":[{"content":{"parts":[]}}]})")}) {
    const auto result = exchange(kGemini, sampleRequest(), reply(200, body)).result;
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(AssistantError::Kind::invalidModelResponse));
  }
  for (const std::string& body :
       {fixture("gemini-candidate-without-content.json"), fixture("gemini-max-tokens-no-text.json"),
        std::string(R"({"promptFeedback":{"blockReason":"SAFETY"}})"),
        std::string(R"({"candidates":[{"content":{"parts":[{"inlineData":{"mimeType":"image/png"}}]}}]})"),
        std::string(R"({"candidates":[{"content":{"parts":[{"text":5}]}}]})")}) {
    expectDecodingFailure(exchange(kGemini, sampleRequest(), reply(200, body)).result);
  }
}

}  // namespace
}  // namespace wrenfold::testing
