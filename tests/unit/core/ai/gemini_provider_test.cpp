#include <gtest/gtest.h>

#include "provider_harness.h"

namespace wrenfold::testing {
namespace {

const ModelConfig kGemini = configFor(ModelProvider::gemini);

TEST(GeminiProviderTest, SendsTheRequestExactlyWithTheKeyInAHeader) {
  const auto outcome = exchange(kGemini, sampleRequest(kSampleImage), reply(200, "{}"));
  ASSERT_EQ(outcome.sent.size(), 1u);
  const HttpRequest& request = outcome.sent[0];
  EXPECT_EQ(request.url,
            "https://generativelanguage.googleapis.com/v1beta/models/"
            "gemini-2.5-flash:generateContent");
  EXPECT_EQ(request.headers,
            (HeaderList{{"Content-Type", "application/json"}, {"x-goog-api-key", "sk-TEST-4711"}}));
  EXPECT_EQ(request.body,
            R"({"systemInstruction":{"parts":[{"text":"SYS 系统"}]},"contents":[{"parts":[{"text":")" +
                std::string(kSampleUserJson) +
                R"("},{"inlineData":{"mimeType":"image/jpeg","data":"AP9hYmM="}}]}],)"
                R"("generationConfig":{"temperature":0.45,"maxOutputTokens":900}})");
}

TEST(GeminiProviderTest, ComposesTheEndpointWithTheModel) {
  struct Row {
    std::string baseURL, model, url;
  };
  const Row rows[] = {
      {"https://g.example/v1beta/models/gemini-2.0-flash:generateContent/", "ignored",
       "https://g.example/v1beta/models/gemini-2.0-flash:generateContent"},
      {"https://g.example/proxy?alt=json", "m",
       "https://g.example/proxy/v1beta/models/m:generateContent?alt=json"},
      {"https://g.example/?key=old", "m", "https://g.example/v1beta/models/m:generateContent?key=old"},
      {"https://g.example", "models/m", "https://g.example/v1beta/models/m:generateContent"},
      {"https://g.example/v1beta", "m", "https://g.example/v1beta/models/m:generateContent"},
      {"https://g.example/v1", "m", "https://g.example/v1/models/m:generateContent"},
      {"https://g.example", "tuned models/x?y#z",
       "https://g.example/v1beta/models/tuned%20models/x%3Fy%23z:generateContent"},
  };
  for (const auto& row : rows) {
    ModelConfig config = kGemini;
    config.baseURL = row.baseURL;
    config.model = row.model;
    EXPECT_EQ(exchange(config, sampleRequest(), reply(200, "{}")).sent.at(0).url, row.url);
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

TEST(GeminiProviderTest, RejectsMalformedReplies) {
  const auto noParts =
      exchange(kGemini, sampleRequest(), reply(200, R"({"candidates":[{"content":{"parts":[]}}]})"));
  EXPECT_TRUE(noParts.result.error().is(AssistantError::Kind::invalidModelResponse));
  for (const std::string& body :
       {std::string(R"({"usageMetadata":{}})"),
        std::string(R"({"candidates":[{"content":{"parts":[{"inlineData":{"mimeType":"image/png"}}]}}]})"),
        std::string(R"({"candidates":[{"content":{"parts":[{"text":5}]}}]})")}) {
    expectDecodingFailure(exchange(kGemini, sampleRequest(), reply(200, body)).result);
  }
}

}  // namespace
}  // namespace wrenfold::testing
