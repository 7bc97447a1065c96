#include "core/ai/prompt_builder.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "core/security/redactor.h"
#include "core/text/text.h"

namespace wrenfold {

namespace {

constexpr std::string_view screenshotBlock =
    "当前窗口截图：已附在本次请求中，请结合截图中的布局、图片和文字理解完整上下文。";

struct Placeholder {
  std::string_view token;  // "{{name}}"
  std::string value;
};
using Placeholders = std::array<Placeholder, 9>;

// Longer than any secret form but a private-key block, which is hidden to the end when cut.
constexpr std::size_t redactionMargin = 4096;

// "%.2f" without a locale: 0.8 gives "0.80", 0.456 gives "0.46".
std::string twoDecimals(double value) {
  std::array<char, 512> buffer{};  // room for the largest double in fixed notation
  const auto [end, error] =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, 2);
  return error == std::errc{} ? std::string(buffer.data(), end) : std::string();
}

const std::string* presentOrNull(const std::optional<std::string>& text) {
  return text ? &*text : nullptr;
}

std::string optionalText(const std::optional<std::string>& text) {
  return text.value_or(std::string());
}

std::string joinedBlocks(const std::vector<std::string>& blocks) {
  std::string out;
  for (const std::string& block : blocks) {
    if (!out.empty()) {
      out += "\n\n";
    }
    out += block;
  }
  return out;
}

// Each token is replaced where it starts; text between tokens, values included, is copied
// once and never looked at again.
std::string render(std::string_view text, const Placeholders& placeholders) {
  std::string out;
  out.reserve(text.size());
  std::size_t copied = 0;
  std::size_t at = text.find("{{");
  while (at != std::string_view::npos) {
    const Placeholder* hit = nullptr;
    for (const Placeholder& p : placeholders) {
      if (text.substr(at).starts_with(p.token)) {
        hit = &p;
        break;
      }
    }
    if (hit == nullptr) {
      at = text.find("{{", at + 1);  // "{{{name}}}" holds a token one brace later
      continue;
    }
    out.append(text, copied, at - copied);
    out += hit->value;
    copied = at + hit->token.size();
    at = text.find("{{", copied);
  }
  out.append(text, copied);
  return out;
}

}  // namespace

BuiltPrompt PromptBuilder::build(const PromptTemplate& promptTemplate, const ContextSnapshot& context,
                                 std::string_view instruction, const StyleMemory& styleMemory, bool hasImage,
                                 std::span<const std::string> knownSecrets) const {
  const auto redacted = [knownSecrets](std::string_view text) {
    return Redactor::redact(text, knownSecrets);
  };
  // Redaction sees a margin past the cap, so a secret running across it is recognised whole
  // (a key block cut open by the margin goes to its end); the rest of a long text is never read.
  const std::string cappedContext =
      text::graphemePrefix(redacted(text::graphemePrefix(structuredContext(context, hasImage),
                                                         contextCharacterLimit + redactionMargin)),
                           contextCharacterLimit);
  const Placeholders placeholders{{
      {"{{app_name}}", context.appName},
      {"{{context_source}}", std::string(rawValue(context.source))},
      {"{{confidence}}", twoDecimals(context.confidence)},
      {"{{context}}", cappedContext},
      {"{{selected_text}}", redacted(optionalText(context.selectedText))},
      {"{{focused_text}}", redacted(optionalText(context.focusedText))},
      {"{{user_instruction}}", redacted(instruction)},
      {"{{style_memory}}", styleMemory.promptSummary(knownSecrets)},
      {"{{candidate_count}}", std::to_string(promptTemplate.candidateCount)},
  }};
  return BuiltPrompt{render(promptTemplate.systemPrompt, placeholders),
                     render(promptTemplate.userPrompt, placeholders)};
}

std::string PromptBuilder::structuredContext(const ContextSnapshot& context, bool hasImage) {
  const std::array<std::pair<std::string_view, const std::string*>, 4> candidates{{
      {"选中文本", presentOrNull(context.selectedText)},
      {"当前输入框", presentOrNull(context.focusedText)},
      {"附近内容", presentOrNull(context.nearbyText)},
      {"窗口可见内容", &context.visibleText},
  }};
  std::vector<std::string> blocks;
  std::vector<std::string> emittedTexts;
  for (const auto& [label, text] : candidates) {
    if (text == nullptr) {
      continue;
    }
    std::string trimmed = text::trim(*text);
    if (trimmed.empty() || std::ranges::find(emittedTexts, trimmed) != emittedTexts.end()) {
      continue;
    }
    blocks.push_back(std::string(label) + "：\n" + trimmed);
    emittedTexts.push_back(std::move(trimmed));
  }
  if (hasImage) {
    blocks.emplace_back(screenshotBlock);
  }
  return joinedBlocks(blocks);
}

}  // namespace wrenfold
