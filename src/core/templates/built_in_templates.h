#pragma once

#include <vector>

#include "core/templates/prompt_template.h"

namespace wrenfold {

// The eight templates that ship with the application.
class BuiltInTemplates {
 public:
  // In picker and matching order; the first ("reply.quick") is the engine's final fallback.
  // Built once on first use (thread-safe) and never changed.
  [[nodiscard]] static const std::vector<PromptTemplate>& all();
};

}  // namespace wrenfold
