// Screen and user text laid into a prompt: both texts are valid UTF-8 and the configured key
// never reaches them, wherever and however it appears in the context, the instruction or the
// style memory.

#include <array>

#include "core/ai/prompt_builder.h"
#include "core/security/redactor.h"
#include "core/templates/built_in_templates.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [which, rest] = fuzz::choice(fuzz::text(data, size), 16);
  // Text enters repaired (the readers repair it), so only valid UTF-8 is laid out here.
  std::vector<std::string> parts;
  for (const std::string_view part : fuzz::fields(rest, 7)) {
    parts.push_back(text::repairUtf8(part));
  }
  const auto& templates = BuiltInTemplates::all();
  ContextSnapshot context;
  context.source = kAllContextSources[which % kAllContextSources.size()];
  context.appName = "Mail";  // the application's own name goes in unredacted, by design
  context.nearbyText = parts[1];
  context.windowTitle = parts[2];
  context.selectedText = parts[3];
  context.focusedText = parts[4];
  context.visibleText = parts[5];
  context.confidence = 0.5;
  const std::array<std::string, 1> secrets{parts[0]};
  StyleMemory memory = StyleMemory::empty({});
  memory.userWrittenPreference = parts[6];

  const BuiltPrompt prompt = PromptBuilder().build(templates[which % templates.size()], context, parts[6],
                                                   memory, which >= 8, secrets);
  FUZZ_REQUIRE_UTF8(prompt.system);
  FUZZ_REQUIRE_UTF8(prompt.user);
  const std::string& secret = secrets[0];
  // A secret sharing no character with the replacement, and not in the template's own text,
  // cannot be rebuilt from them. The bare texts are built once: they do not depend on the input.
  static const std::vector<std::string> bareTexts = [] {
    std::vector<std::string> texts;
    for (const PromptTemplate& bareTemplate : BuiltInTemplates::all()) {
      const BuiltPrompt bare = PromptBuilder().build(bareTemplate, {}, {}, StyleMemory::empty({}), false);
      texts.push_back(bare.system + bare.user);
    }
    return texts;
  }();
  if (secret.size() >= Redactor::minimumKnownSecretLength &&
      secret.find_first_of(Redactor::replacement) == std::string::npos &&
      secret.find_first_of("{}\n") == std::string::npos &&
      bareTexts[which % templates.size()].find(secret) == std::string::npos) {
    FUZZ_REQUIRE(prompt.user.find(secret) == std::string::npos);
    FUZZ_REQUIRE(prompt.system.find(secret) == std::string::npos);
  }
  return 0;
}
