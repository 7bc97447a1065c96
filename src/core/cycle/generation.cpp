#include "core/cycle/generation.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "core/ai/service_url.h"
#include "core/records/assistant_error.h"
#include "core/templates/built_in_templates.h"
#include "core/text/text.h"

namespace wrenfold::generation {

std::optional<ContextSnapshot> makeManualContext(std::string_view text, const ManualOrigin& origin) {
  std::string trimmed = text::trim(text);
  if (trimmed.empty()) {
    return std::nullopt;
  }
  ContextSnapshot snapshot;
  snapshot.source = ContextSource::manual;
  snapshot.appName = origin.appName;
  snapshot.appBundleID = origin.appBundleID;
  snapshot.windowTitle = origin.windowTitle;
  snapshot.visibleText = std::move(trimmed);
  snapshot.confidence = 0.6;
  snapshot.warnings = {std::string(kManualContextWarning)};
  return snapshot;
}

PromptTemplate resolveTemplate(const std::vector<PromptTemplate>& templates, std::string_view templateID) {
  for (std::string_view wanted : {templateID, std::string_view("reply.quick")}) {
    for (const PromptTemplate& t : templates) {
      if (t.id == wanted) {
        return t;
      }
    }
  }
  return BuiltInTemplates::all().front();
}

Result<Plan> plan(const ContextSnapshot& context, std::string_view templateID, std::string_view instruction,
                  const std::vector<PromptTemplate>& templates, const ModelConfig& config,
                  const StyleMemory& styleMemory, const std::optional<LLMImage>& image,
                  const PromptBuilder& builder) {
  std::string apiKey = text::trim(config.apiKey);
  if (apiKey.empty() && !service_url::isLocalService(config)) {  // a server of one's own needs none
    return fail(AssistantError::missingAPIKey());
  }
  PromptTemplate chosen = resolveTemplate(templates, templateID);
  // The key must not reach the service in the text either (a pasted config, a log line).
  const std::array knownSecrets{apiKey};
  BuiltPrompt prompt =
      builder.build(chosen, context, instruction, styleMemory, image.has_value(), knownSecrets);
  LLMRequest request;
  request.system = std::move(prompt.system);
  request.user = std::move(prompt.user);
  request.image = image;
  request.temperature = config.temperature;
  request.maxTokens = config.maxTokens;
  request.candidateCount = chosen.candidateCount;
  return Plan{std::move(chosen), std::move(request), std::move(apiKey)};
}

std::string formatConfidence(double confidence) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.2f", confidence);
  // snprintf follows LC_NUMERIC; the logs and the overlay always use a full stop.
  std::string out(buffer);
  for (char& c : out) {
    if (c == ',') {
      c = '.';
    }
  }
  return out;
}

std::string summaryLine(const ContextSnapshot& context) {
  const double percent = std::trunc(context.confidence * 100.0);
  const long whole = std::isfinite(percent) ? static_cast<long>(percent) : 0;
  return context.appName + " / " + std::string(rawValue(context.source)) + " / " + std::to_string(whole) +
         "%";
}

std::string contextDetails(const ContextSnapshot& context) {
  std::vector<std::string> sections;
  sections.push_back("App: " + context.appName);
  sections.push_back("Bundle ID: " + context.appBundleID);
  sections.push_back("Source: " + std::string(rawValue(context.source)));
  sections.push_back("Confidence: " + formatConfidence(context.confidence));
  auto present = [](const std::optional<std::string>& s) { return s && !text::isBlank(*s); };
  if (present(context.windowTitle)) {
    sections.push_back("Window: " + *context.windowTitle);
  }
  if (!context.warnings.empty()) {
    std::string warnings = "Warnings:";
    for (const std::string& w : context.warnings) {
      warnings += "\n- " + w;
    }
    sections.push_back(std::move(warnings));
  }
  if (present(context.selectedText)) {
    sections.push_back("Selected Text:\n" + *context.selectedText);
  }
  if (present(context.focusedText)) {
    sections.push_back("Focused Text:\n" + *context.focusedText);
  }
  if (present(context.nearbyText)) {
    sections.push_back("Nearby Text:\n" + *context.nearbyText);
  } else if (!text::isBlank(context.visibleText)) {
    sections.push_back("Visible Text:\n" + context.visibleText);
  }
  std::string out;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (i > 0) {
      out += "\n\n";
    }
    out += sections[i];
  }
  return out;
}

AppLogger::Fields successEventFields(const ContextSnapshot& context, std::string_view templateID) {
  return {
      {"app", context.appName},
      {"source", std::string(rawValue(context.source))},
      {"confidence", formatConfidence(context.confidence)},
      {"templateID", std::string(templateID)},
  };
}

}  // namespace wrenfold::generation
