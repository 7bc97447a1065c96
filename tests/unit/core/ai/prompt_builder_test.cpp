#include "core/ai/prompt_builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "core/text/text.h"

namespace wrenfold {
namespace {

const std::string screenshotBlock =
    "当前窗口截图：已附在本次请求中，请结合截图中的布局、图片和文字理解完整上下文。";

struct Texts {
  std::optional<std::string> selected;
  std::optional<std::string> focused;
  std::optional<std::string> nearby;
  std::string visible;
};

ContextSnapshot snapshot(Texts texts) {
  ContextSnapshot context;
  context.source = ContextSource::selectedText;
  context.appName = "Mail";
  context.appBundleID = "org.example.mail";
  context.windowTitle = "收件箱";
  context.selectedText = std::move(texts.selected);
  context.focusedText = std::move(texts.focused);
  context.nearbyText = std::move(texts.nearby);
  context.visibleText = std::move(texts.visible);
  context.confidence = 0.8;
  context.warnings = {"警告"};
  return context;
}

PromptTemplate templateWith(std::string system, std::string user) {
  PromptTemplate t;
  t.id = "t";
  t.systemPrompt = std::move(system);
  t.userPrompt = std::move(user);
  t.candidateCount = 3;
  return t;  // no documented variables: all nine are substituted anyway
}

std::string renderedContext(const ContextSnapshot& context, bool hasImage) {
  return PromptBuilder().build(templateWith("", "{{context}}"), context, "", StyleMemory{}, hasImage).user;
}

std::string repeated(std::string_view unit, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) {
    out += unit;
  }
  return out;
}

struct ContextCase {
  const char* name;
  Texts texts;
  bool hasImage;
  std::string expected;
};

TEST(PromptBuilderContext, BlocksLabelsDuplicatesAndTheScreenshot) {
  const std::vector<ContextCase> cases = {
      {"selection equal to the field is shown once",
       {" 你好 \n", "你好", std::nullopt, ""},
       false,
       "选中文本：\n你好"},
      {"all four in order",
       {"a", "b", "c", "d"},
       false,
       "选中文本：\na\n\n当前输入框：\nb\n\n附近内容：\nc\n\n窗口可见内容：\nd"},
      {"a later block equal to any earlier one is dropped",
       {"a", "b", " a", "b\n"},
       false,
       "选中文本：\na\n\n当前输入框：\nb"},
      {"blank texts are skipped", {"  ", std::nullopt, "\n", " 窗口 "}, false, "窗口可见内容：\n窗口"},
      {"nothing, no image", {std::nullopt, std::nullopt, std::nullopt, ""}, false, ""},
      {"nothing but the image", {" ", std::nullopt, std::nullopt, "\t"}, true, screenshotBlock},
      {"the image after the text blocks",
       {std::nullopt, "草稿", std::nullopt, ""},
       true,
       "当前输入框：\n草稿\n\n" + screenshotBlock},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(renderedContext(snapshot(c.texts), c.hasImage), c.expected) << c.name;
  }
}

TEST(PromptBuilderContext, CapKeepsWholeGraphemesAndDropsTheScreenshotBlock) {
  // "窗口可见内容：\n" is 8 characters; the text then fills the cap up to a ZWJ family and two
  // flags, each several code points, so the 7000th character ends inside the multi-byte run.
  const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  const std::string flag = "\U0001F1E8\U0001F1F3";
  const std::string visible = repeated("字", 6990) + family + flag + flag + repeated("尾", 3000);

  const std::string context =
      renderedContext(snapshot({std::nullopt, std::nullopt, std::nullopt, visible}), true);

  EXPECT_EQ(context, "窗口可见内容：\n" + repeated("字", 6990) + family + flag);
  EXPECT_EQ(text::graphemeCount(context), 7000u);
}

TEST(PromptBuilderContext, RedactionRunsBeforeTheCap) {
  // Replacing the code's 6 characters by 10 moves the cut, never above it.
  const std::string visible = "code 123456 " + repeated("x", 8000);
  const std::string context =
      renderedContext(snapshot({std::nullopt, std::nullopt, std::nullopt, visible}), false);

  const std::string head = "窗口可见内容：\ncode [REDACTED] xx";
  EXPECT_EQ(context.substr(0, head.size()), head);
  EXPECT_EQ(text::graphemeCount(context), 7000u);
}

TEST(PromptBuilderRendering, NinePlaceholdersInSystemAndUserTexts) {
  StyleMemory memory;
  memory.userWrittenPreference = "api_key=mine";  // the tone memory goes with every request
  ContextSnapshot context = snapshot({" 选中 123456 ", "当前 api_key=sk-1", std::nullopt, ""});
  context.appName = "App 654321";  // nor is the app name
  context.confidence = 0.456;
  const PromptTemplate t =
      templateWith("{{app_name}}|{{context_source}}|{{confidence}}|{{candidate_count}}",
                   "{{selected_text}}|{{focused_text}}|{{user_instruction}}|{{style_memory}}");

  const BuiltPrompt prompt = PromptBuilder().build(t, context, "Authorization: Bearer tok", memory, false);

  EXPECT_EQ(prompt.system, "App 654321|selectedText|0.46|3");
  EXPECT_EQ(prompt.user, " 选中 [REDACTED] |当前 [REDACTED]|[REDACTED]|用户偏好：[REDACTED]");
}

TEST(PromptBuilderRendering, ConfidenceHasTwoDecimals) {
  const PromptTemplate t = templateWith("", "{{confidence}}");
  for (const auto& [value, expected] : std::vector<std::pair<double, std::string>>{
           {0.8, "0.80"}, {1.0, "1.00"}, {0.0, "0.00"}, {0.456, "0.46"}, {0.004, "0.00"}}) {
    ContextSnapshot context = snapshot({});
    context.confidence = value;
    EXPECT_EQ(PromptBuilder().build(t, context, "", StyleMemory{}, false).user, expected) << value;
  }
}

TEST(PromptBuilderRendering, OnePassLeavesValuesAndUnknownPlaceholdersAlone) {
  // A window showing placeholder text must reach the model as that text, whatever the order.
  ContextSnapshot context = snapshot({"{{focused_text}}", "f", std::nullopt, "{{style_memory}}"});
  context.appName = "{{context}}";
  const PromptTemplate t =
      templateWith("{{app_name}}|{{context}}",
                   "{{ context }} {{Context}} {{x}} {{user_instruction}} {{{app_name}}} {{app_name}");

  const BuiltPrompt prompt = PromptBuilder().build(t, context, "{{selected_text}}", StyleMemory{}, false);

  EXPECT_EQ(
      prompt.system,
      "{{context}}|选中文本：\n{{focused_text}}\n\n当前输入框：\nf\n\n窗口可见内容：\n{{style_memory}}");
  EXPECT_EQ(prompt.user, "{{ context }} {{Context}} {{x}} {{selected_text}} {{{context}}} {{app_name}");
}

}  // namespace
}  // namespace wrenfold
