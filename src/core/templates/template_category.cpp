#include "core/templates/template_category.h"

namespace wrenfold {

std::string_view rawValue(TemplateCategory category) {
  switch (category) {
    case TemplateCategory::reply:
      return "reply";
    case TemplateCategory::rewrite:
      return "rewrite";
    case TemplateCategory::summarize:
      return "summarize";
    case TemplateCategory::translate:
      return "translate";
    case TemplateCategory::extract:
      return "extract";
    case TemplateCategory::brainstorm:
      return "brainstorm";
    case TemplateCategory::custom:
      return "custom";
  }
  return "custom";  // unreachable: every case returns above
}

std::optional<TemplateCategory> templateCategoryFromRawValue(std::string_view raw) {
  for (const TemplateCategory category : kAllTemplateCategories) {
    if (rawValue(category) == raw) {
      return category;
    }
  }
  return std::nullopt;
}

}  // namespace wrenfold
