// The model's reply text: candidates are never empty, blank, untrimmed or invalid UTF-8, never
// more than asked for; the only failure is an unusable reply.

#include "core/ai/response_parser.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [count, reply] = fuzz::choice(fuzz::text(data, size), 6);
  const int expected = static_cast<int>(count) - 1;
  const auto candidates = ResponseParser::parse(reply, expected);
  if (!candidates) {
    FUZZ_REQUIRE(candidates.error().is(AssistantError::Kind::invalidModelResponse));
    return 0;
  }
  FUZZ_REQUIRE(!candidates->empty());
  FUZZ_REQUIRE(candidates->size() <= static_cast<std::size_t>(std::max(expected, 1)));
  for (const GeneratedCandidate& candidate : *candidates) {
    FUZZ_REQUIRE_UTF8(candidate.text);
    FUZZ_REQUIRE(!text::isBlank(candidate.text));
    FUZZ_REQUIRE(text::trim(candidate.text) == candidate.text);
    if (candidate.title) {
      FUZZ_REQUIRE_UTF8(*candidate.title);
    }
  }
  return 0;
}
