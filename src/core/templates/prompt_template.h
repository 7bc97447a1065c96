#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/failure.h"
#include "core/support/json.h"
#include "core/templates/output_mode.h"
#include "core/templates/template_category.h"

namespace wrenfold {

// One placeholder a template documents. Rendering substitutes its own fixed set whatever this
// says, and does not enforce `required`.
struct TemplateVariable {
  std::string name;  // as written between "{{" and "}}"
  std::string description;
  bool required = false;

  bool operator==(const TemplateVariable&) const = default;

  // All three keys are required; fails on a missing, null or mistyped key.
  [[nodiscard]] static Result<TemplateVariable> fromJson(const json::Json& object);
  [[nodiscard]] json::OrderedJson toJson() const;
};

// What the assistant is to do with the captured context. A plain value compared field by
// field; `id` is its identity (list views key on it), so it is set once and not changed.
struct PromptTemplate {
  std::string id;
  std::string title;
  TemplateCategory category = TemplateCategory::custom;
  std::string iconName;
  std::optional<std::string> shortcut;  // one-character key label, shown only
  std::string description;
  std::string systemPrompt;
  std::string userPrompt;  // may contain {{name}} placeholders
  OutputMode outputMode = OutputMode::insertableText;
  int candidateCount = 1;
  std::vector<TemplateVariable> variables;
  std::vector<std::string> matchPhrases;

  bool operator==(const PromptTemplate&) const = default;

  // The user-file form: every key is required except "shortcut" (missing or null means none);
  // unknown keys are ignored; category and outputMode must be one of their raw values.
  [[nodiscard]] static Result<PromptTemplate> fromJson(const json::Json& object);
  // The keys in field order; "shortcut" is left out when absent.
  [[nodiscard]] json::OrderedJson toJson() const;
};

// Decodes the content of the user template file: one JSON array of templates. Any bad element
// fails the whole list; the failure names the element.
[[nodiscard]] Result<std::vector<PromptTemplate>> decodeTemplateList(std::string_view bytes);

}  // namespace wrenfold
