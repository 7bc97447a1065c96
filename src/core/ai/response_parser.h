#pragma once

#include <string_view>
#include <vector>

#include "core/records/assistant_error.h"
#include "core/records/generated_candidate.h"
#include "core/support/failure.h"

namespace wrenfold {

// Turns whatever text a model sent back into candidates, trying in order: a JSON envelope
// {"candidates":[...]}, a bare JSON array of candidates, a numbered or bulleted list, and
// finally the whole text as one candidate. Stateless.
class ResponseParser {
 public:
  ResponseParser() = delete;

  static constexpr double kDefaultJsonConfidence = 0.8;  // a JSON candidate without one
  static constexpr double kListConfidence = 0.7;
  static constexpr double kWholeTextConfidence = 0.6;

  // At most max(expectedCount, 1) candidates, never none, in reply order, each with a fresh
  // random id. Invalid UTF-8 in `text` is repaired first, and one leading reasoning block
  // (<think>...</think>, or everything up to a lone </think>) is dropped unless nothing
  // follows it. A candidates envelope that strict decoding refuses still gives the texts it
  // holds. Fails with AssistantError::invalidModelResponse when nothing is left (a bare code
  // fence) or an envelope holds no usable text.
  [[nodiscard]] static Result<std::vector<GeneratedCandidate>> parse(std::string_view text,
                                                                     int expectedCount);

  // The candidates of a reply still being written that are already complete: for JSON, each
  // element whose object has closed; for a list, each item once the next one has begun. The
  // rest waits for the whole reply, which parse() then reads. At most max(expectedCount, 1),
  // each with a fresh random id.
  [[nodiscard]] static std::vector<GeneratedCandidate> completedSoFar(std::string_view partialText,
                                                                      int expectedCount);
};

}  // namespace wrenfold
