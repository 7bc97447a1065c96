#include "core/memory/style_memory.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace wrenfold {
namespace {

StyleSample sample(std::string text) {
  return StyleSample{Uuid::random(), std::move(text), "t", "App", {}};
}

StyleMemory memoryWith(std::string preference, std::vector<std::string> bullets,
                       std::vector<std::string> texts) {
  StyleMemory memory{std::move(preference), std::move(bullets), {}, {}};
  for (auto& text : texts) {
    memory.recentSamples.push_back(sample(std::move(text)));
  }
  return memory;
}

struct SummaryCase {
  const char* name;
  StyleMemory memory;
  std::string expected;
};

TEST(StyleMemoryPromptSummary, SectionsAndTheirAbsence) {
  const std::vector<SummaryCase> cases = {
      {"empty", memoryWith("", {}, {}), "无"},
      {"blank preference only", memoryWith(" \n\u3000\t", {}, {}), "无"},
      {"trimmed preference and the newest three samples",
       memoryWith("  简短直接\n", {}, {"a", "b", "c", "d"}),
       "用户偏好：简短直接\n\n最近采用过的表达样本：\n- b\n- c\n- d"},
      {"empty bullet still gives a line", memoryWith("", {"少用感叹号", ""}, {}),
       "语气规则：\n- 少用感叹号\n- "},
      {"all three sections in order", memoryWith("正式", {"礼貌"}, {"x"}),
       "用户偏好：正式\n\n语气规则：\n- 礼貌\n\n最近采用过的表达样本：\n- x"},
      {"multi-line sample keeps its breaks", memoryWith("", {}, {"第一行\n第二行"}),
       "最近采用过的表达样本：\n- 第一行\n第二行"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.memory.promptSummary(), c.expected) << c.name;
  }
}

TEST(StyleMemoryPromptSummary, LongSampleIsCutToItsFirst160Characters) {
  // Family emoji are several code points each: the cut counts what the user sees.
  std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
  std::string text;
  for (int i = 0; i < 200; ++i) {
    text += family;
  }
  std::string expectedLine;
  for (int i = 0; i < 160; ++i) {
    expectedLine += family;
  }
  const StyleMemory memory = memoryWith("", {}, {text});

  EXPECT_EQ(memory.promptSummary(), "最近采用过的表达样本：\n- " + expectedLine);
  EXPECT_EQ(memory.recentSamples.front().text, text);
}

// Secrets straddling the 160-character cut: each sample is redacted whole before it is cut.
TEST(StyleMemoryPromptSummary, SecretAcrossTheSampleCutIsHiddenWhole) {
  std::string lead;
  for (int i = 0; i < 13; ++i) {
    lead += "好的，资料明天发你。";
  }
  lead += "收到。我的key是";  // 139 characters
  const std::array<std::string, 1> configured{"wf-local-Zq9xKey77abcdefgh"};
  const StyleMemory memory = memoryWith(
      "", {}, {lead + "sk-proj-Ab12Cd34Ef56Gh78Ij90Kl12Mn34，收到请回复", lead + configured[0] + "。"});

  EXPECT_EQ(memory.promptSummary(configured),
            "最近采用过的表达样本：\n- " + lead + "[REDACTED]，收到请回复\n- " + lead + "[REDACTED]。");
}

}  // namespace
}  // namespace wrenfold
