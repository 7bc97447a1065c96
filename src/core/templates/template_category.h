#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace wrenfold {

// The kind of task a template performs. Stored and encoded as its raw value, which is the
// case name; "extract" and "brainstorm" are used by no built-in but are open to user templates.
enum class TemplateCategory {
  reply,
  rewrite,
  summarize,
  translate,
  extract,
  brainstorm,
  custom,
};

// Every case in declaration order.
inline constexpr std::array kAllTemplateCategories{
    TemplateCategory::reply,     TemplateCategory::rewrite, TemplateCategory::summarize,
    TemplateCategory::translate, TemplateCategory::extract, TemplateCategory::brainstorm,
    TemplateCategory::custom,
};

[[nodiscard]] std::string_view rawValue(TemplateCategory category);
// Absent for any string that is not exactly one of the raw values (case-sensitive).
[[nodiscard]] std::optional<TemplateCategory> templateCategoryFromRawValue(std::string_view raw);

}  // namespace wrenfold
