#include "core/ai/response_parser.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "core/records/assistant_error.h"
#include "core/support/json.h"
#include "core/support/uuid.h"
#include "core/text/regex.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kFence = "```";
constexpr std::string_view kReasoningOpen = "<think>";
constexpr std::string_view kReasoningClose = "</think>";

const text::Regex& openingFence() {
  static const text::Regex pattern = text::Regex::literal("^```(?:json)?\\s*");
  return pattern;
}

const text::Regex& whiteSpace() {
  static const text::Regex pattern = text::Regex::literal("\\s");
  return pattern;
}

const text::Regex& listMarker() {
  static const text::Regex pattern = text::Regex::literal("^\\s*(?:[-*]|\\d+[.)]|候选\\s*\\d+[:：])\\s*");
  return pattern;
}

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Local reasoning models open with a <think> block; the answer is what follows it. Chat
// templates that open the block themselves leave only its end in the reply. A reply that is
// nothing but reasoning is kept whole rather than turned into an empty candidate.
std::string withoutReasoning(std::string text) {
  std::size_t close = std::string::npos;
  if (text.starts_with(kReasoningOpen)) {
    close = text.find(kReasoningClose, kReasoningOpen.size());
  } else if (text.find(kReasoningOpen) == std::string::npos) {
    close = text.find(kReasoningClose);
    if (close != std::string::npos && text.find(kReasoningClose, close + 1) != std::string::npos) {
      close = std::string::npos;  // several ends: not a block the template opened
    }
  }
  if (close == std::string::npos) {
    return text;
  }
  std::string answer = text::trim(std::string_view(text).substr(close + kReasoningClose.size()));
  return answer.empty() ? text : answer;
}

// Removes "\s*```" at the very end. Walking back over the blank run costs its length once,
// where a left-to-right regex search would retry the run from each of its positions.
std::string_view withoutClosingFence(std::string_view text) {
  if (!text.ends_with(kFence)) {
    return text;
  }
  std::size_t end = text.size() - kFence.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && isContinuationByte(text[begin])) {
      --begin;
    }
    if (!whiteSpace().matches(text.substr(begin, end - begin))) {
      break;
    }
    end = begin;
  }
  return text.substr(0, end);
}

// `text` is trimmed. Only a text that opens with a fence loses one: the opening (with an
// optional lower-case "json" and the blank after it) and the closing one.
std::string stripCodeFence(std::string_view text) {
  if (!text.starts_with(kFence)) {
    return text::trim(text);
  }
  if (const auto opening = openingFence().firstMatch(text)) {
    text.remove_prefix(opening->end());
  }
  return text::trim(withoutClosingFence(text));
}

struct CandidatePayload {
  std::string text;
  std::optional<std::string> title;
  std::optional<double> confidence;
};

std::optional<CandidatePayload> decodePayload(const json::Json& value) {
  auto text = json::requireString(value, "text");
  auto title = json::optionalString(value, "title");
  auto confidence = json::optionalNumber(value, "confidence");
  if (!text || !title || !confidence) {
    return std::nullopt;
  }
  return CandidatePayload{std::move(*text), std::move(*title), *confidence};
}

// Every element must decode, or the list as a whole does not.
std::optional<std::vector<CandidatePayload>> decodePayloads(const json::Json& array) {
  if (!array.is_array()) {
    return std::nullopt;
  }
  std::vector<CandidatePayload> payloads;
  payloads.reserve(array.size());
  for (const auto& element : array) {
    auto payload = decodePayload(element);
    if (!payload) {
      return std::nullopt;
    }
    payloads.push_back(std::move(*payload));
  }
  return payloads;
}

// The envelope {"candidates":[...]}, else a bare array of candidates.
std::optional<std::vector<CandidatePayload>> decodeReply(const json::Json& document) {
  if (document.is_object()) {
    const auto candidates = document.find("candidates");
    return candidates == document.end() ? std::nullopt : decodePayloads(*candidates);
  }
  return decodePayloads(document);
}

std::vector<GeneratedCandidate> candidatesOf(std::vector<CandidatePayload> payloads) {
  std::vector<GeneratedCandidate> candidates;
  for (auto& payload : payloads) {
    std::string trimmed = text::trim(payload.text);
    if (trimmed.empty()) {
      continue;
    }
    candidates.push_back({Uuid::random(), std::move(trimmed), std::move(payload.title),
                          payload.confidence.value_or(ResponseParser::kDefaultJsonConfidence)});
  }
  return candidates;
}

std::optional<std::vector<GeneratedCandidate>> parseJSON(std::string_view text) {
  // Neither form can begin otherwise; this spares list replies a failed JSON parse.
  if (!text.starts_with('{') && !text.starts_with('[')) {
    return std::nullopt;
  }
  const auto document = json::parse(text);
  if (!document) {
    return std::nullopt;
  }
  auto payloads = decodeReply(*document);
  if (!payloads) {
    return std::nullopt;
  }
  return candidatesOf(std::move(*payloads));
}

// ---- envelopes that are almost right ----

const text::Regex& envelopeStart() {
  static const text::Regex pattern = text::Regex::literal("\\{\\s*\"candidates\"\\s*:");
  return pattern;
}

// One payload read forgivingly: the text must be a string; a title of another type is dropped
// and a confidence written as a string is read as a number.
std::optional<CandidatePayload> forgivingPayload(const json::Json& value) {
  const auto text = value.is_object() ? value.find("text") : value.end();
  if (text == value.end() || !text->is_string()) {
    return std::nullopt;
  }
  CandidatePayload payload{text->get<std::string>(), std::nullopt, std::nullopt};
  if (const auto title = value.find("title"); title != value.end() && title->is_string()) {
    payload.title = title->get<std::string>();
  }
  if (const auto confidence = value.find("confidence"); confidence != value.end()) {
    if (confidence->is_number()) {
      payload.confidence = confidence->get<double>();
    } else if (confidence->is_string()) {
      const std::string digits = text::trim(confidence->get<std::string>());
      double number = 0;
      const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
      if (error == std::errc() && end == digits.data() + digits.size()) {
        payload.confidence = number;
      }
    }
  }
  return payload;
}

// Reads one JSON string literal starting at the quote at `from`; absent when it never closes.
std::optional<std::pair<std::string, std::size_t>> stringLiteral(std::string_view text, std::size_t from) {
  for (std::size_t i = from + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == '"') {
      const auto decoded = json::parse(text.substr(from, i + 1 - from));
      if (!decoded || !decoded->is_string()) {
        return std::nullopt;
      }
      return std::pair{decoded->get<std::string>(), i + 1};
    }
  }
  return std::nullopt;
}

// The string values of every "text" key, walking the tokens so that a key inside a string is
// never taken for one. A reply cut off mid-way gives the texts that were complete.
std::vector<CandidatePayload> textValues(std::string_view text) {
  std::vector<CandidatePayload> payloads;
  std::optional<std::string> key;
  bool awaitingTextValue = false;
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      auto literal = stringLiteral(text, i);
      if (!literal) {
        break;
      }
      if (awaitingTextValue) {
        payloads.push_back({std::move(literal->first), std::nullopt, std::nullopt});
        awaitingTextValue = false;
      } else {
        key = std::move(literal->first);
      }
      i = literal->second - 1;
    } else if (c == ':') {
      awaitingTextValue = key == "text";
      key.reset();
    } else if (!isBlank(c)) {
      awaitingTextValue = false;
      key.reset();
    }
  }
  return payloads;
}

// A candidates envelope that strict decoding refused: one mistyped field, prose around it, or
// a cut-off end. Absent when the text holds no envelope at all.
std::optional<std::vector<GeneratedCandidate>> forgivingEnvelope(std::string_view text) {
  if (text.find("\"candidates\"") == std::string_view::npos) {
    return std::nullopt;  // spares list and prose replies the pattern search
  }
  const auto start = envelopeStart().firstMatch(text);
  if (!start) {
    return std::nullopt;
  }
  const std::string_view envelope = text.substr(start->begin());
  const auto end = envelope.rfind('}');
  const auto document = json::parse(envelope.substr(0, end == std::string_view::npos ? 0 : end + 1));
  std::vector<CandidatePayload> payloads;
  if (document && document->is_object() && document->contains("candidates") &&
      (*document)["candidates"].is_array()) {
    for (const auto& element : (*document)["candidates"]) {
      if (auto payload = forgivingPayload(element)) {
        payloads.push_back(std::move(*payload));
      }
    }
  } else {
    payloads = textValues(envelope);
  }
  return candidatesOf(std::move(payloads));
}

// Byte length of the line break starting at `i`, or 0. LF, VT, FF, CR, NEL, LS and PS each end
// a line on their own.
std::size_t lineBreakLength(std::string_view s, std::size_t i) {
  const auto byte = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned c = byte(i);
  if (c >= 0x0A && c <= 0x0D) {
    return 1;
  }
  if (c == 0xC2 && byte(i + 1) == 0x85) {
    return 2;
  }
  if (c == 0xE2 && byte(i + 1) == 0x80 && (byte(i + 2) == 0xA8 || byte(i + 2) == 0xA9)) {
    return 3;
  }
  return 0;
}

// Collects list items in one pass: each marker line opens an item, unmarked lines continue
// the current one, blank lines are dropped.
class ListSplitter {
 public:
  void addLine(std::string_view line) {
    const auto marker = listMarker().firstMatch(line);
    if (marker && !block_.empty()) {
      closeItem();
    }
    if (marker) {
      line.remove_prefix(marker->end());
    }
    if (text::isBlank(line)) {
      return;
    }
    if (!block_.empty()) {
      block_ += '\n';
    }
    block_ += line;
  }

  [[nodiscard]] std::vector<std::string> finish() && {
    if (!block_.empty()) {
      closeItem();
    }
    return std::move(items_);
  }

 private:
  // The block only ever holds non-blank lines, so the item is never empty.
  void closeItem() {
    items_.push_back(text::trim(block_));
    block_.clear();
  }

  std::vector<std::string> items_;
  std::string block_;
};

std::vector<std::string> splitCandidates(std::string_view text) {
  ListSplitter splitter;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t length = lineBreakLength(text, i); length > 0) {
      splitter.addLine(text.substr(lineStart, i - lineStart));
      i += length;
      lineStart = i;
    } else {
      ++i;
    }
  }
  splitter.addLine(text.substr(lineStart));
  return std::move(splitter).finish();
}

// ---- replies still being written ----

// The candidate objects of a JSON reply that have closed so far: the elements of the envelope's
// "candidates" array or of a bare array. Strings are skipped whole, so braces inside them do
// not count.
std::vector<CandidatePayload> closedJsonElements(std::string_view text) {
  std::vector<CandidatePayload> payloads;
  std::string containers;  // '{' and '[' from the outermost in
  std::string lastKey;     // the last string read directly inside the outermost object
  bool inCandidates = false;
  std::size_t elementStart = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      std::size_t end = i + 1;
      while (end < text.size() && text[end] != '"') {
        end += text[end] == '\\' ? 2u : 1u;
      }
      if (end >= text.size()) {
        break;  // the string is still being written
      }
      if (containers == "{") {
        lastKey = text.substr(i + 1, end - i - 1);
      }
      i = end;
    } else if (c == '{' || c == '[') {
      containers += c;
      if (containers == "{[") {
        inCandidates = lastKey == "candidates";
      }
      const bool isElement = c == '{' && (containers == "[{" || (containers == "{[{" && inCandidates));
      if (isElement) {
        elementStart = i;
      }
    } else if ((c == '}' || c == ']') && !containers.empty()) {
      const bool closesElement = c == '}' && (containers == "[{" || (containers == "{[{" && inCandidates));
      containers.pop_back();
      if (closesElement) {
        const auto element = json::parse(text.substr(elementStart, i + 1 - elementStart));
        if (auto payload = element ? forgivingPayload(*element) : std::nullopt) {
          payloads.push_back(std::move(*payload));
        }
      }
    }
  }
  return payloads;
}

// The items of a list reply that are complete: all but the last of the finished lines, and that
// last one too once the line being written opens the next item.
std::vector<std::string> finishedListItems(std::string_view text) {
  std::size_t lastBreak = std::string_view::npos;
  std::size_t afterBreak = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t length = lineBreakLength(text, i); length > 0) {
      lastBreak = i;
      i += length;
      afterBreak = i;
    } else {
      ++i;
    }
  }
  if (lastBreak == std::string_view::npos) {
    return {};
  }
  std::vector<std::string> items = splitCandidates(text.substr(0, lastBreak));
  const std::string_view writing = text.substr(afterBreak);
  const auto marker = listMarker().firstMatch(writing);
  if (!items.empty() && !(marker && !text::isBlank(writing))) {
    items.pop_back();
  }
  return items;
}

}  // namespace

std::vector<GeneratedCandidate> ResponseParser::completedSoFar(std::string_view partialText,
                                                               int expectedCount) {
  const auto limit = static_cast<std::size_t>(std::max(expectedCount, 1));
  std::string body = text::trim(text::repairUtf8(partialText));
  if (body.starts_with(kReasoningOpen)) {
    const auto close = body.find(kReasoningClose);
    if (close == std::string::npos) {
      return {};  // still reasoning
    }
    body = text::trim(std::string_view(body).substr(close + kReasoningClose.size()));
  }
  if (body.starts_with(kFence)) {
    if (body.find('\n') == std::string::npos) {
      return {};  // the fence's own line is not finished
    }
    if (const auto opening = openingFence().firstMatch(body)) {
      body.erase(0, opening->end());
    }
  }
  std::vector<GeneratedCandidate> candidates;
  if (body.starts_with('{') || body.starts_with('[')) {
    candidates = candidatesOf(closedJsonElements(body));
  } else {
    for (auto& item : finishedListItems(body)) {
      candidates.push_back({Uuid::random(), std::move(item), std::nullopt, kListConfidence});
    }
  }
  candidates.resize(std::min(candidates.size(), limit));
  return candidates;
}

Result<std::vector<GeneratedCandidate>> ResponseParser::parse(std::string_view text, int expectedCount) {
  const auto limit = static_cast<std::size_t>(std::max(expectedCount, 1));
  const std::string body = stripCodeFence(withoutReasoning(text::trim(text::repairUtf8(text))));
  if (body.empty()) {
    return fail(AssistantError::invalidModelResponse());  // a bare fence holds no reply
  }

  auto candidates = parseJSON(body);
  if (!candidates) {
    candidates = forgivingEnvelope(body);
  }
  if (candidates && candidates->empty()) {
    // Candidates without one usable text are an unusable reply, never raw JSON to insert.
    return fail(AssistantError::invalidModelResponse());
  }
  if (candidates) {
    candidates->resize(std::min(candidates->size(), limit));
    return std::move(*candidates);
  }
  std::vector<std::string> items = splitCandidates(body);
  if (items.empty()) {
    return std::vector<GeneratedCandidate>{
        GeneratedCandidate{Uuid::random(), body, std::nullopt, kWholeTextConfidence}};
  }
  items.resize(std::min(items.size(), limit));
  std::vector<GeneratedCandidate> list;
  list.reserve(items.size());
  for (auto& item : items) {
    list.push_back({Uuid::random(), std::move(item), std::nullopt, kListConfidence});
  }
  return list;
}

}  // namespace wrenfold
