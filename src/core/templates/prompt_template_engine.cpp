#include "core/templates/prompt_template_engine.h"

#include <algorithm>
#include <cstddef>

#include "core/templates/built_in_templates.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kDefaultTemplateID = "reply.quick";
constexpr std::string_view kFallbackTemplateID = "custom.instruction";

// The user's templates, or none when the file is missing, unreadable or undecodable: a broken
// file must not take the built-ins down with it. Why it was dropped goes to `problem`.
std::vector<PromptTemplate> readUserTemplates(const AppPaths& paths, std::optional<FileProblem>* problem) {
  std::vector<PromptTemplate> templates;
  StoredFile file(paths.userTemplatesURL());
  file.load([&templates](std::string_view bytes) -> Result<void> {
    auto decoded = decodeTemplateList(text::repairUtf8(bytes));
    if (!decoded) {
      return fail(decoded.error());
    }
    templates = std::move(*decoded);
    return {};
  });
  if (problem != nullptr) {
    *problem = file.problem();
  }
  return templates;
}

// Override in place by id (first match from the start), else append. A later duplicate in the
// file therefore replaces an earlier one at the earlier one's position.
void mergeInto(std::vector<PromptTemplate>& result, PromptTemplate userTemplate) {
  const auto existing = std::ranges::find(result, userTemplate.id, &PromptTemplate::id);
  if (existing != result.end()) {
    *existing = std::move(userTemplate);
  } else {
    result.push_back(std::move(userTemplate));
  }
}

// Sum over the phrases found in the normalised instruction of their length in characters
// (at least 1 each). An empty phrase would be found everywhere, so it counts for nothing.
std::size_t score(const PromptTemplate& candidate, std::string_view normalisedInstruction) {
  std::size_t total = 0;
  for (const std::string& phrase : candidate.matchPhrases) {
    const std::string lowered = text::lowercased(phrase);
    if (lowered.empty() || normalisedInstruction.find(lowered) == std::string_view::npos) {
      continue;
    }
    total += std::max<std::size_t>(text::graphemeCount(phrase), 1);
  }
  return total;
}

}  // namespace

PromptTemplateEngine::PromptTemplateEngine(const AppPaths& paths)
    : templates_(loadTemplates(paths, &problem_)) {}

std::vector<PromptTemplate> PromptTemplateEngine::loadTemplates(const AppPaths& paths,
                                                                std::optional<FileProblem>* problem) {
  std::vector<PromptTemplate> result = BuiltInTemplates::all();
  for (PromptTemplate& userTemplate : readUserTemplates(paths, problem)) {
    mergeInto(result, std::move(userTemplate));
  }
  return result;
}

const PromptTemplate* PromptTemplateEngine::find(std::string_view id) const {
  const auto it = std::ranges::find(templates_, id, &PromptTemplate::id);
  return it == templates_.end() ? nullptr : &*it;
}

const PromptTemplate& PromptTemplateEngine::defaultTemplate() const {
  const PromptTemplate* found = find(kDefaultTemplateID);
  return found != nullptr ? *found : BuiltInTemplates::all().front();
}

const PromptTemplate& PromptTemplateEngine::templateWithID(std::string_view id) const {
  const PromptTemplate* found = find(id);
  return found != nullptr ? *found : defaultTemplate();
}

const PromptTemplate& PromptTemplateEngine::match(std::string_view instruction) const {
  const std::string normalised = text::trim(text::lowercased(instruction));
  if (normalised.empty()) {
    return defaultTemplate();
  }
  const PromptTemplate* best = nullptr;
  std::size_t bestScore = 0;
  for (const PromptTemplate& candidate : templates_) {
    const std::size_t candidateScore = score(candidate, normalised);
    if (candidateScore > bestScore) {  // strictly greater: the earlier template wins a tie
      best = &candidate;
      bestScore = candidateScore;
    }
  }
  if (best != nullptr) {
    return *best;
  }
  const PromptTemplate* fallback = find(kFallbackTemplateID);
  return fallback != nullptr ? *fallback : defaultTemplate();
}

}  // namespace wrenfold
