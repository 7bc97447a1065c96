#include "core/templates/built_in_templates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wrenfold {
namespace {

const PromptTemplate& builtIn(std::size_t index) {
  return BuiltInTemplates::all().at(index);
}

TEST(BuiltInTemplatesTest, EightInPickerOrderWithTheirKeyLabels) {
  const std::vector<std::string> ids = {"reply.quick",          "rewrite.polish",    "rewrite.shorter",
                                        "rewrite.professional", "translate.zh",      "translate.en",
                                        "summarize.points",     "custom.instruction"};
  ASSERT_EQ(BuiltInTemplates::all().size(), ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(builtIn(i).id, ids[i]);
    EXPECT_EQ(builtIn(i).shortcut, std::to_string(i + 1));
    EXPECT_EQ(builtIn(i).candidateCount, i == 0 ? 3 : 1) << ids[i];
    EXPECT_EQ(builtIn(i).outputMode, i == 0 ? OutputMode::candidates : OutputMode::insertableText) << ids[i];
    EXPECT_EQ(builtIn(i).variables, (std::vector<TemplateVariable>{{"context", "当前上下文", true},
                                                                   {"user_instruction", "用户指令", false},
                                                                   {"style_memory", "本地语气记忆", false}}));
  }
  EXPECT_TRUE(builtIn(7).matchPhrases.empty());
}

TEST(BuiltInTemplatesTest, TextsAreKeptByteForByte) {
  EXPECT_EQ(
      builtIn(0).systemPrompt,
      "你是用户的 Linux 写作助手。你只能基于用户当前提供的上下文生成内容，不要编造事实，不要替用户发送。");
  EXPECT_EQ(builtIn(0).userPrompt.substr(builtIn(0).userPrompt.rfind('\n') + 1),
            "请生成 {{candidate_count}} 条短、自然、可直接填入的回复。每条不要超过 80 字。");
  EXPECT_EQ(builtIn(3).description, "适合邮件、客户沟通和正式场景。");
  EXPECT_EQ(builtIn(3).category, TemplateCategory::rewrite);
  EXPECT_EQ(builtIn(5).userPrompt, "Translate into natural English while preserving tone:\n{{context}}");
  EXPECT_EQ(
      builtIn(6).userPrompt,
      "请用 bullet 总结下面内容。如有行动项，单独列出：\n{{context}}\n\n用户补充：{{user_instruction}}");
  EXPECT_EQ(builtIn(4).matchPhrases, (std::vector<std::string>{"中文", "翻译成中文", "translate chinese"}));
  EXPECT_EQ(builtIn(1).iconName, "wand.and.stars");
}

TEST(BuiltInTemplatesTest, EverySurvivesAnEncodeDecodeRoundTrip) {
  for (const PromptTemplate& original : BuiltInTemplates::all()) {
    const auto reparsed = json::parse(json::dumpCompact(original.toJson()));
    ASSERT_TRUE(reparsed.has_value());
    const auto decoded = PromptTemplate::fromJson(*reparsed);
    ASSERT_TRUE(decoded.has_value()) << original.id << ": " << decoded.error().localizedDescription();
    EXPECT_EQ(*decoded, original);
  }
}

}  // namespace
}  // namespace wrenfold
