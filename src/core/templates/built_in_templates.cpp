#include "core/templates/built_in_templates.h"

namespace wrenfold {
namespace {

// Every built-in documents the same placeholders.
std::vector<TemplateVariable> sharedVariables() {
  return {
      TemplateVariable{.name = "context", .description = "当前上下文", .required = true},
      TemplateVariable{.name = "user_instruction", .description = "用户指令", .required = false},
      TemplateVariable{.name = "style_memory", .description = "本地语气记忆", .required = false},
  };
}

std::vector<PromptTemplate> makeBuiltIns() {
  return {
      PromptTemplate{
          .id = "reply.quick",
          .title = "快速回复",
          .category = TemplateCategory::reply,
          .iconName = "arrowshape.turn.up.left",
          .shortcut = "1",
          .description = "基于当前上下文生成三条可直接填入的回复。",
          .systemPrompt = "你是用户的 Linux 写作助手。"  // the desktop Wrenfold runs on
                          "你只能基于用户当前提供的上下文生成内容，不要编造事实，不要替用户发送。",
          .userPrompt = "当前应用：{{app_name}}\n"
                        "上下文来源：{{context_source}}，置信度：{{confidence}}\n"
                        "当前可见上下文：\n{{context}}\n\n"
                        "用户指令：{{user_instruction}}\n\n用户语气偏好：\n"
                        "{{style_memory}}\n\n"
                        "请生成 {{candidate_count}} 条短、自然、可直接填入的回复。"
                        "每条不要超过 80 字。",
          .outputMode = OutputMode::candidates,
          .candidateCount = 3,
          .variables = sharedVariables(),
          .matchPhrases = {"回复", "帮我回", "怎么回", "拒绝", "答应", "response"},
      },
      PromptTemplate{
          .id = "rewrite.polish",
          .title = "润色改写",
          .category = TemplateCategory::rewrite,
          .iconName = "wand.and.stars",
          .shortcut = "2",
          .description = "保留原意，改得更自然。",
          .systemPrompt = "你负责润色用户文本。保留原意，不新增事实。",
          .userPrompt = "请润色下面内容，让它更自然清楚，可直接填入。\n\n优先文本：\n"
                        "{{selected_text}}\n\n当前输入框：\n"
                        "{{focused_text}}\n\n上下文：\n{{context}}\n\n"
                        "用户指令：{{user_instruction}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"润色", "改写", "自然", "polish", "rewrite"},
      },
      PromptTemplate{
          .id = "rewrite.shorter",
          .title = "更简洁",
          .category = TemplateCategory::rewrite,
          .iconName = "text.alignleft",
          .shortcut = "3",
          .description = "压缩文本，保留关键含义。",
          .systemPrompt = "你负责把文本改得更简洁，保留关键信息。",
          .userPrompt = "把下面内容改得更简洁，删除重复和空泛客套，保留核心信息：\n"
                        "{{context}}\n\n用户补充：{{user_instruction}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"简洁", "缩短", "短一点", "精简", "shorter"},
      },
      PromptTemplate{
          .id = "rewrite.professional",
          .title = "更专业",
          .category = TemplateCategory::rewrite,
          .iconName = "briefcase",
          .shortcut = "4",
          .description = "适合邮件、客户沟通和正式场景。",
          .systemPrompt = "你负责把文本改得更专业、清晰、得体，但不过度官腔。",
          .userPrompt = "请把下面内容改得更专业得体，保持原本立场，不新增事实：\n"
                        "{{context}}\n\n用户补充：{{user_instruction}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"专业", "正式", "得体", "客户", "professional"},
      },
      PromptTemplate{
          .id = "translate.zh",
          .title = "翻译中文",
          .category = TemplateCategory::translate,
          .iconName = "character.book.closed",
          .shortcut = "5",
          .description = "翻译成中文，不额外解释。",
          .systemPrompt = "你是翻译助手。只输出译文，不解释。",
          .userPrompt = "请翻译成自然中文，保留语气：\n{{context}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"中文", "翻译成中文", "translate chinese"},
      },
      PromptTemplate{
          .id = "translate.en",
          .title = "翻译英文",
          .category = TemplateCategory::translate,
          .iconName = "globe",
          .shortcut = "6",
          .description = "翻译成英文，不额外解释。",
          .systemPrompt = "You are a translation assistant. Output only the translation.",
          .userPrompt = "Translate into natural English while preserving tone:\n"
                        "{{context}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"英文", "英语", "翻译成英文", "translate english"},
      },
      PromptTemplate{
          .id = "summarize.points",
          .title = "总结要点",
          .category = TemplateCategory::summarize,
          .iconName = "list.bullet",
          .shortcut = "7",
          .description = "输出要点和可能的行动项。",
          .systemPrompt = "你负责总结可见内容。不要加入上下文外事实。",
          .userPrompt = "请用 bullet 总结下面内容。如有行动项，单独列出：\n"
                        "{{context}}\n\n用户补充：{{user_instruction}}",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {"总结", "概括", "要点", "summarize"},
      },
      PromptTemplate{
          .id = "custom.instruction",
          .title = "自定义",
          .category = TemplateCategory::custom,
          .iconName = "command",
          .shortcut = "8",
          .description = "按用户输入处理当前上下文。",
          .systemPrompt = "你是用户的通用上下文写作助手。严格基于上下文和用户指令工作，不编造事实。",
          .userPrompt = "当前应用：{{app_name}}\n当前上下文：\n{{context}}\n\n"
                        "用户指令：{{user_instruction}}\n\n"
                        "请输出可直接使用的结果。",
          .outputMode = OutputMode::insertableText,
          .candidateCount = 1,
          .variables = sharedVariables(),
          .matchPhrases = {},
      },
  };
}

}  // namespace

const std::vector<PromptTemplate>& BuiltInTemplates::all() {
  static const std::vector<PromptTemplate> templates = makeBuiltIns();
  return templates;
}

}  // namespace wrenfold
