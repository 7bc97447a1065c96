#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "core/records/assistant_error.h"
#include "core/records/generated_candidate.h"
#include "core/support/failure.h"

namespace wrenfold {

// Turns whatever text a model sent back into candidates: a JSON envelope {"candidates":[...]}
// (also after a line of prose), a bare JSON array, a numbered or bulleted list, and finally the
// whole text as one candidate. Elements of a JSON list may be objects with a "text" or plain
// strings. Reasoning is never a candidate: leading <think>...</think> blocks are dropped, and
// so is everything up to a lone </think> (the chat template opened the block) unless the
// answer opened with JSON candidates or a <think> came first. Stateless.
class ResponseParser {
 public:
  ResponseParser() = delete;

  static constexpr double kDefaultJsonConfidence = 0.8;  // a JSON candidate without one
  static constexpr double kListConfidence = 0.7;
  static constexpr double kWholeTextConfidence = 0.6;

  // At most max(expectedCount, 1) candidates, never none, in reply order, each with a fresh
  // random id. Invalid UTF-8 is repaired first. A candidates envelope that strict decoding
  // refuses (a mistyped field, prose around it, a cut-off end) still gives the texts it holds.
  // Fails with AssistantError::invalidModelResponse when nothing but reasoning is left (an
  // unclosed <think> included), for a bare code fence, and for JSON candidates without one
  // usable text.
  [[nodiscard]] static Result<std::vector<GeneratedCandidate>> parse(std::string_view text,
                                                                     int expectedCount);

  // True when the reply holds no answer: blank, or nothing but reasoning.
  [[nodiscard]] static bool holdsNoAnswer(std::string_view text);
};

// Reads a reply as it is written, each piece once: the candidates that are certain so far
// (those the whole reply's parse gives at the same places, with the same ids) and, at the end,
// exactly what ResponseParser::parse gives for the whole text. A JSON element is certain once it
// closes, a list item once the next one begins; while a lone </think> could still turn what
// came before into reasoning, nothing is.
class ReplyReader {
 public:
  explicit ReplyReader(int expectedCount);
  ~ReplyReader();
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  void append(std::string_view piece);
  // At most max(expectedCount, 1), in reply order.
  [[nodiscard]] std::vector<GeneratedCandidate> completed() const;
  // The whole reply's candidates; call once, after the last piece.
  [[nodiscard]] Result<std::vector<GeneratedCandidate>> finish();
  // After finish(): false when the reply held nothing but reasoning, or nothing at all.
  [[nodiscard]] bool hasAnswer() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace wrenfold
