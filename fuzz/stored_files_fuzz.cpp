// The files users edit by hand, through the readers the stores use: configuration, user
// templates, style memory, one style sample, the shortcut value, and any JSON text. What
// decodes re-encodes to an equal value, and decoding that again gives the same.

#include "core/ai/model_config.h"
#include "core/memory/style_memory.h"
#include "core/memory/style_sample.h"
#include "core/records/shortcut.h"
#include "core/support/json.h"
#include "core/templates/prompt_template.h"
#include "fuzz_check.h"

namespace wrenfold {
namespace {

// Decodes `bytes` as a JSON object with `fromJson`; what decodes survives a round trip.
template <typename T>
void roundTrip(std::string_view bytes) {
  const auto document = json::parse(bytes);
  if (!document) {
    return;
  }
  const auto decoded = T::fromJson(*document);
  if (!decoded) {
    FUZZ_REQUIRE_UTF8(decoded.error().localizedDescription());
    return;
  }
  const auto again = T::fromJson(json::parse(json::dumpCompact(decoded->toJson())).value());
  FUZZ_REQUIRE(again.has_value());
  FUZZ_REQUIRE(*again == *decoded);
}

void anyJson(std::string_view bytes) {
  const auto document = json::parse(bytes);
  if (!document) {
    FUZZ_REQUIRE_UTF8(document.error().localizedDescription());
    return;
  }
  const std::string compact = json::dumpCompact(*document);
  FUZZ_REQUIRE_UTF8(compact);
  const auto reparsed = json::parse(compact);
  FUZZ_REQUIRE(reparsed.has_value());
  FUZZ_REQUIRE(*reparsed == *document);
  FUZZ_REQUIRE(json::parse(json::dumpPretty(*document)).value() == *document);
}

void templateList(std::string_view bytes) {
  const auto list = decodeTemplateList(text::repairUtf8(bytes));
  if (!list) {
    FUZZ_REQUIRE_UTF8(list.error().localizedDescription());
    return;
  }
  json::OrderedJson encoded = json::OrderedJson::array();
  for (const PromptTemplate& t : *list) {
    encoded.push_back(t.toJson());
  }
  const auto again = decodeTemplateList(json::dumpCompact(encoded));
  FUZZ_REQUIRE(again.has_value());
  FUZZ_REQUIRE(*again == *list);
}

void styleMemory(std::string_view bytes) {
  const auto memory = StyleMemory::decode(bytes);
  if (!memory) {
    FUZZ_REQUIRE_UTF8(memory.error().localizedDescription());
    return;
  }
  FUZZ_REQUIRE_UTF8(memory->promptSummary());
  const auto again = StyleMemory::decode(json::dumpPretty(memory->toJson()));
  FUZZ_REQUIRE(again.has_value());
  FUZZ_REQUIRE(*again == *memory);
}

void shortcut(std::string_view bytes) {
  const auto decoded = decodeShortcut(bytes);
  if (decoded) {
    FUZZ_REQUIRE(decodeShortcut(encodeShortcut(*decoded)) == decoded);
    FUZZ_REQUIRE_UTF8(describeShortcut(*decoded));
  }
}

}  // namespace
}  // namespace wrenfold

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [kind, bytes] = fuzz::choice(fuzz::text(data, size), 6);
  switch (kind) {
    case 0:
      roundTrip<ModelConfig>(bytes);
      break;
    case 1:
      templateList(bytes);
      break;
    case 2:
      styleMemory(bytes);
      break;
    case 3:
      roundTrip<StyleSample>(bytes);
      break;
    case 4:
      shortcut(bytes);
      break;
    default:
      anyJson(bytes);
      break;
  }
  return 0;
}
