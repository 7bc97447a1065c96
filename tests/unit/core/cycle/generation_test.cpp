#include "core/cycle/generation.h"

#include <gtest/gtest.h>

#include "core/templates/built_in_templates.h"

namespace wrenfold::generation {
namespace {

ContextSnapshot notes(double confidence) {
  ContextSnapshot s;
  s.source = ContextSource::accessibility;
  s.appName = "Notes";
  s.appBundleID = "org.example.notes";
  s.confidence = confidence;
  return s;
}

TEST(Generation, SummaryLineTruncatesTheConfidence) {
  EXPECT_EQ(summaryLine(notes(0.9)), "Notes / accessibility / 90%");
  EXPECT_EQ(summaryLine(notes(0.999)), "Notes / accessibility / 99%");
  EXPECT_EQ(summaryLine(notes(0.0)), "Notes / accessibility / 0%");
}

TEST(Generation, DetailsListPresentSectionsInOrderAndNearbyTextWinsOverVisible) {
  ContextSnapshot s = notes(0.75);
  s.windowTitle = "  ";  // blank: left out
  s.warnings = {"一", "二"};
  s.selectedText = "sel";
  s.focusedText = " \n";  // blank: left out
  s.visibleText = "visible";
  EXPECT_EQ(contextDetails(s),
            "App: Notes\n\nBundle ID: org.example.notes\n\nSource: accessibility\n\nConfidence: 0.75\n\n"
            "Warnings:\n- 一\n- 二\n\nSelected Text:\nsel\n\nVisible Text:\nvisible");
  s.nearbyText = "near";
  EXPECT_NE(contextDetails(s).find("Nearby Text:\nnear"), std::string::npos);
  EXPECT_EQ(contextDetails(s).find("Visible Text"), std::string::npos);
}

TEST(Generation, ManualContextIsTrimmedAndBlankGivesNothing) {
  EXPECT_FALSE(makeManualContext(" \n\t").has_value());
  auto s = makeManualContext("  hello \n");
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->source, ContextSource::manual);
  EXPECT_EQ(s->appName, "Manual");
  EXPECT_EQ(s->appBundleID, "manual");
  EXPECT_EQ(s->visibleText, "hello");
  EXPECT_DOUBLE_EQ(s->confidence, 0.6);
  EXPECT_EQ(s->warnings, std::vector<std::string>{"使用手动输入上下文。"});
}

TEST(Generation, TemplateFallsBackToQuickReplyThenToTheFirstBuiltIn) {
  const auto& all = BuiltInTemplates::all();
  EXPECT_EQ(resolveTemplate(all, "translate.zh").id, "translate.zh");
  EXPECT_EQ(resolveTemplate(all, "missing").id, "reply.quick");
  std::vector<PromptTemplate> withoutQuick(all.begin() + 1, all.end());
  EXPECT_EQ(resolveTemplate(withoutQuick, "missing").id, all.front().id);
}

TEST(Generation, PlanRefusesABlankKeyAndCarriesTheTemplatesCount) {
  ModelConfig config = ModelConfig::defaultConfig();
  config.apiKey = " \n ";
  const PromptBuilder builder;
  auto refused =
      plan(notes(0.9), "reply.quick", "", BuiltInTemplates::all(), config, {}, std::nullopt, builder);
  ASSERT_FALSE(refused.has_value());
  EXPECT_TRUE(refused.error().is(AssistantError::Kind::missingAPIKey));

  config.apiKey = "  sk-1 ";
  config.maxTokens = 123;
  auto planned = plan(notes(0.9), "nope", "", BuiltInTemplates::all(), config, {}, std::nullopt, builder);
  ASSERT_TRUE(planned.has_value());
  EXPECT_EQ(planned->apiKey, "sk-1");
  EXPECT_EQ(planned->promptTemplate.id, "reply.quick");
  EXPECT_EQ(planned->request.candidateCount, planned->promptTemplate.candidateCount);
  EXPECT_EQ(planned->request.maxTokens, 123);
  EXPECT_FALSE(planned->request.image.has_value());
}

}  // namespace
}  // namespace wrenfold::generation
