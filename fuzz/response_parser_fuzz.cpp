// The model's reply text: candidates are never empty, blank, untrimmed or invalid UTF-8, never
// more than asked for; the only failure is an unusable reply. Read in pieces (of a size the input
// chooses), the reply gives the same candidates, and what showed meanwhile is what the end keeps.

#include "core/ai/response_parser.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto [count, reply] = fuzz::choice(fuzz::text(data, size), 6);
  const int expected = static_cast<int>(count) - 1;
  const auto candidates = ResponseParser::parse(reply, expected);
  ReplyReader reader(expected);
  std::vector<GeneratedCandidate> shown;
  const std::size_t piece = 1 + size % 13;
  for (std::size_t at = 0; at < reply.size(); at += piece) {
    reader.append(std::string_view(reply).substr(at, piece));
    auto soFar = reader.completed();
    FUZZ_REQUIRE(soFar.size() >= shown.size());
    shown = std::move(soFar);
  }
  const auto streamed = reader.finish();
  FUZZ_REQUIRE(streamed.has_value() == candidates.has_value());
  if (streamed) {
    FUZZ_REQUIRE(streamed->size() == candidates->size() && shown.size() <= streamed->size());
    for (std::size_t i = 0; i < streamed->size(); ++i) {
      FUZZ_REQUIRE((*streamed)[i].text == (*candidates)[i].text);
      FUZZ_REQUIRE(i >= shown.size() ||
                   (shown[i].id == (*streamed)[i].id && shown[i].text == (*streamed)[i].text));
    }
  }
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
