#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/support/app_paths.h"
#include "core/support/stored_file.h"
#include "core/templates/prompt_template.h"

namespace wrenfold {

// The templates the assistant offers: the built-ins merged with the user's file, read once at
// creation and never changed afterwards (edits to the file take effect at the next launch).
// Main thread.
class PromptTemplateEngine {
 public:
  explicit PromptTemplateEngine(const AppPaths& paths);

  // Built-ins and user templates merged; never fails. A missing, unreadable or undecodable
  // file (one bad element is enough) gives exactly the built-ins; `problem`, when given, then
  // says why for a file that exists. A user template replaces the first template with its id
  // in place, or else is appended.
  [[nodiscard]] static std::vector<PromptTemplate> loadTemplates(
      const AppPaths& paths, std::optional<FileProblem>* problem = nullptr);

  // The user template file that exists but could not be read or decoded, if any. The engine
  // never writes it.
  [[nodiscard]] const std::optional<FileProblem>& userTemplatesProblem() const { return problem_; }

  // Built-ins first in their order, user overrides in place, then the user's additions in
  // file order. Ids are unique.
  [[nodiscard]] const std::vector<PromptTemplate>& templates() const { return templates_; }

  // "reply.quick" from the list, else the first built-in.
  [[nodiscard]] const PromptTemplate& defaultTemplate() const;

  // The first template with this id, else defaultTemplate().
  [[nodiscard]] const PromptTemplate& templateWithID(std::string_view id) const;

  // The template whose match phrases best fit a typed instruction: case-insensitive
  // substring tests, each hit worth the phrase's length in characters; the first of equal
  // scores wins. A blank instruction gives defaultTemplate(); no hit gives
  // "custom.instruction", else defaultTemplate().
  [[nodiscard]] const PromptTemplate& match(std::string_view instruction) const;

 private:
  [[nodiscard]] const PromptTemplate* find(std::string_view id) const;

  std::optional<FileProblem> problem_;
  std::vector<PromptTemplate> templates_;
};

}  // namespace wrenfold
