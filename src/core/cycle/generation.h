#pragma once

// The parts of one generation that the overlay cycle and `wrenfold generate` share: the manual
// snapshot, the template fallback, the request, and the texts and event fields shown or logged
// about a context.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ai/llm_provider.h"
#include "core/ai/model_config.h"
#include "core/ai/prompt_builder.h"
#include "core/context/context_snapshot.h"
#include "core/memory/style_memory.h"
#include "core/support/app_logger.h"
#include "core/support/failure.h"
#include "core/templates/prompt_template.h"

namespace wrenfold::generation {

inline constexpr std::string_view kManualContextWarning = "使用手动输入上下文。";

// Where typed context is said to come from when no target was resolved.
struct ManualOrigin {
  std::string appName = "Manual";
  std::string appBundleID = "manual";
  std::optional<std::string> windowTitle;
};

// Context typed by the user: source manual, confidence 0.6 and the manual warning. Absent
// when the text is blank.
[[nodiscard]] std::optional<ContextSnapshot> makeManualContext(std::string_view text,
                                                               const ManualOrigin& origin = {});

// The template a generation uses: the first with `templateID`, else "reply.quick", else the
// first built-in.
[[nodiscard]] PromptTemplate resolveTemplate(const std::vector<PromptTemplate>& templates,
                                             std::string_view templateID);

// What is sent for one generation, and with which template and key.
struct Plan {
  PromptTemplate promptTemplate;
  LLMRequest request;
  std::string apiKey;  // trimmed
};

// Fails with missingAPIKey when the configured key is blank and the service is not on this
// machine or a private network.
[[nodiscard]] Result<Plan> plan(const ContextSnapshot& context, std::string_view templateID,
                                std::string_view instruction, const std::vector<PromptTemplate>& templates,
                                const ModelConfig& config, const StyleMemory& styleMemory,
                                const std::optional<LLMImage>& image, const PromptBuilder& builder);

// "Notes / accessibility / 90%": the confidence truncated, not rounded.
[[nodiscard]] std::string summaryLine(const ContextSnapshot& context);

// The text behind the overlay's context disclosure.
[[nodiscard]] std::string contextDetails(const ContextSnapshot& context);

// The fields of the "generate.success" event.
[[nodiscard]] AppLogger::Fields successEventFields(const ContextSnapshot& context,
                                                   std::string_view templateID);

// "%.2f" of a confidence, independent of the process locale.
[[nodiscard]] std::string formatConfidence(double confidence);

}  // namespace wrenfold::generation
