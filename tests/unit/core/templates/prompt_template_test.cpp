#include "core/templates/prompt_template.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace wrenfold {
namespace {

json::Json validTemplate() {
  return json::Json::parse(R"({
    "id": "mail.reply", "title": "邮件回复", "category": "reply", "iconName": "envelope",
    "shortcut": "9", "description": "回邮件", "systemPrompt": "你是助手。", "userPrompt": "{{context}}",
    "outputMode": "candidates", "candidateCount": 2,
    "variables": [{"name": "context", "description": "当前上下文", "required": true}],
    "matchPhrases": ["邮件", "mail"]
  })");
}

// `value` absent: the key is removed.
std::optional<PromptTemplate> decodeWith(const char* key, const std::optional<json::Json>& value) {
  json::Json object = validTemplate();
  if (value) {
    object[key] = *value;
  } else {
    object.erase(key);
  }
  auto decoded = PromptTemplate::fromJson(object);
  return decoded ? std::optional(*decoded) : std::nullopt;
}

TEST(PromptTemplateTest, DecodesEveryFieldAndEncodesItBack) {
  const auto decoded = PromptTemplate::fromJson(validTemplate());
  ASSERT_TRUE(decoded.has_value()) << decoded.error().localizedDescription();
  EXPECT_EQ(decoded->category, TemplateCategory::reply);
  EXPECT_EQ(decoded->outputMode, OutputMode::candidates);
  EXPECT_EQ(decoded->variables, (std::vector<TemplateVariable>{{"context", "当前上下文", true}}));
  EXPECT_EQ(json::parse(json::dumpCompact(decoded->toJson())).value(), validTemplate());
}

TEST(PromptTemplateTest, AMissingOrNullShortcutIsNoneAndIsNotWritten) {
  for (const auto& value : {std::optional<json::Json>(), std::optional<json::Json>(nullptr)}) {
    const auto decoded = decodeWith("shortcut", value);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->shortcut, std::nullopt);
    std::vector<std::string> keys;
    const json::OrderedJson encoded = decoded->toJson();
    for (const auto& [key, ignored] : encoded.items()) {
      keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "title", "category", "iconName", "description",
                                              "systemPrompt", "userPrompt", "outputMode", "candidateCount",
                                              "variables", "matchPhrases"}));
  }
}

TEST(PromptTemplateTest, AcceptsEveryRawValueIntegralFloatsAndUnknownKeys) {
  const std::vector<std::pair<const char*, json::Json>> rows = {
      {"category", "extract"},    {"category", "brainstorm"},       {"category", "custom"},
      {"outputMode", "markdown"}, {"outputMode", "structuredJSON"}, {"outputMode", "insertableText"},
      {"candidateCount", 3.0},    {"unknownKey", {{"nested", 1}}},
  };
  for (const auto& [key, value] : rows) {
    EXPECT_TRUE(decodeWith(key, value).has_value()) << key << " = " << value.dump();
  }
}

TEST(PromptTemplateTest, EveryKeyButShortcutIsRequired) {
  const json::Json full = validTemplate();
  for (const auto& [key, value] : full.items()) {
    EXPECT_EQ(decodeWith(key.c_str(), std::nullopt).has_value(), key == "shortcut") << key;
  }
}

TEST(PromptTemplateTest, RejectsMistypedValuesAndUnknownRawValues) {
  const std::vector<std::pair<const char*, json::Json>> rows = {
      {"id", 1},
      {"title", nullptr},
      {"shortcut", 9},
      {"category", "other"},
      {"category", "Reply"},
      {"outputMode", "plain"},
      {"candidateCount", 3.5},
      {"candidateCount", "3"},
      {"candidateCount", 4294967296},
      {"variables", json::Json::object()},
      {"variables", json::Json::array({1})},
      {"variables", json::Json::parse(R"([{"name": "context", "description": "当前上下文"}])")},
      {"variables", json::Json::parse(R"([{"name": "context", "description": "d", "required": "yes"}])")},
      {"matchPhrases", "邮件"},
      {"matchPhrases", json::Json::array({"邮件", 1})},
  };
  for (const auto& [key, value] : rows) {
    EXPECT_FALSE(decodeWith(key, value).has_value()) << key << " = " << value.dump();
  }
}

TEST(DecodeTemplateListTest, OneBadElementFailsTheListAndIsNamed) {
  json::Json bad = validTemplate();
  bad.erase("userPrompt");
  const auto decoded = decodeTemplateList(json::Json::array({validTemplate(), bad}).dump());
  ASSERT_FALSE(decoded.has_value());
  EXPECT_NE(decoded.error().localizedDescription().find("第 2 个模板"), std::string::npos);
  EXPECT_NE(decoded.error().localizedDescription().find("userPrompt"), std::string::npos);
}

}  // namespace
}  // namespace wrenfold
