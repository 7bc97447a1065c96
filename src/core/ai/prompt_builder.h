#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "core/context/context_snapshot.h"
#include "core/memory/style_memory.h"
#include "core/templates/prompt_template.h"

namespace wrenfold {

// The two texts sent to the model for one generation.
struct BuiltPrompt {
  std::string system;
  std::string user;

  bool operator==(const BuiltPrompt&) const = default;
};

// Renders a template with the captured context, the typed instruction and the style memory.
// The context is laid out as labelled blocks, capped, and has its secrets redacted. Stateless.
class PromptBuilder {
 public:
  // Grapheme clusters of laid-out context kept; the cut comes after redaction, so it cannot
  // open a secret and let part of it through.
  static constexpr std::size_t contextCharacterLimit = 7000;

  // Substitutes {{app_name}}, {{context_source}}, {{confidence}}, {{context}},
  // {{selected_text}}, {{focused_text}}, {{user_instruction}}, {{style_memory}} and
  // {{candidate_count}} in one pass over each template text: inserted values are never scanned
  // for placeholders, and any other {{...}} stays as written. Every text that comes from the
  // user or the screen is redacted, the style memory included; `knownSecrets` (the configured
  // API key) are replaced wherever they appear. Never fails.
  [[nodiscard]] BuiltPrompt build(const PromptTemplate& promptTemplate, const ContextSnapshot& context,
                                  std::string_view instruction, const StyleMemory& styleMemory, bool hasImage,
                                  std::span<const std::string> knownSecrets = {}) const;

 private:
  [[nodiscard]] static std::string structuredContext(const ContextSnapshot& context, bool hasImage);
};

}  // namespace wrenfold
