#include "core/ai/response_parser.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/records/assistant_error.h"
#include "core/support/json.h"
#include "core/support/uuid.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::string_view kFence = "```";
constexpr std::string_view kFenceLanguage = "json";
constexpr std::string_view kReasoningOpen = "<think>";
constexpr std::string_view kReasoningClose = "</think>";
constexpr std::string_view kCandidatesKey = "\"candidates\"";
constexpr std::string_view kCandidateWord = "候选";
constexpr std::string_view kFullWidthColon = "：";
constexpr std::size_t kNone = std::string_view::npos;

char32_t codePointAt(std::string_view s, std::size_t& i) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
  auto index = static_cast<std::int32_t>(i);
  UChar32 c = 0;
  U8_NEXT(bytes, index, static_cast<std::int32_t>(s.size()), c);
  i = static_cast<std::size_t>(index);
  return c < 0 ? U'\uFFFD' : static_cast<char32_t>(c);
}

// ICU's \s and \d, which the list marker is defined with.
bool isSpace(char32_t c) {
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE) != 0;
}

void skipSpaces(std::string_view s, std::size_t& i) {
  for (std::size_t next = i; i < s.size() && isSpace(codePointAt(s, next)); next = i) {
    i = next;
  }
}

bool skipDigits(std::string_view s, std::size_t& i) {
  bool any = false;
  for (std::size_t next = i; i < s.size() && u_isdigit(static_cast<UChar32>(codePointAt(s, next)));
       next = i) {
    i = next;
    any = true;
  }
  return any;
}

// Where the list marker ^\s*(?:[-*]|\d+[.)]|候选\s*\d+[:：])\s* at the start of `line` ends,
// matched by hand: a regex matcher per line costs more than the line.
std::optional<std::size_t> listMarkerEnd(std::string_view line) {
  std::size_t i = 0;
  skipSpaces(line, i);
  const std::string_view rest = line.substr(i);
  if (rest.starts_with('-') || rest.starts_with('*')) {
    ++i;
  } else if (rest.starts_with(kCandidateWord)) {
    i += kCandidateWord.size();
    skipSpaces(line, i);
    if (!skipDigits(line, i)) {
      return std::nullopt;
    }
    if (line.substr(i).starts_with(':')) {
      ++i;
    } else if (line.substr(i).starts_with(kFullWidthColon)) {
      i += kFullWidthColon.size();
    } else {
      return std::nullopt;
    }
  } else if (skipDigits(line, i) && i < line.size() && (line[i] == '.' || line[i] == ')')) {
    ++i;
  } else {
    return std::nullopt;
  }
  skipSpaces(line, i);
  return i;
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

// Removes "\s*```" at the very end, walking back over the blank run once.
std::string_view withoutClosingFence(std::string_view text) {
  if (!text.ends_with(kFence)) {
    return text;
  }
  std::size_t end = text.size() - kFence.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) {
      --begin;
    }
    std::size_t next = begin;
    if (!isSpace(codePointAt(text, next))) {
      break;
    }
    end = begin;
  }
  return text.substr(0, end);
}

// Bytes at the end of `s` that begin a UTF-8 sequence the next piece completes.
std::size_t incompleteTail(std::string_view s) {
  for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
    const auto byte = static_cast<unsigned char>(s[s.size() - back]);
    if ((byte & 0xC0) == 0x80) {
      continue;
    }
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

struct CandidatePayload {
  std::string text;
  std::optional<std::string> title;
  std::optional<double> confidence;
};

// One element read forgivingly: a plain string is the text; an object needs a string "text",
// a title of another type is dropped and a confidence written as a string is read as a number.
std::optional<CandidatePayload> payloadOf(const json::Json& value) {
  if (value.is_string()) {
    return CandidatePayload{value.get<std::string>(), std::nullopt, std::nullopt};
  }
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

// Follows a JSON reply byte by byte, resumable at any byte, and gives each element of its
// candidates list (the envelope's "candidates" array or a bare array) as soon as it closes.
// Values nested in an element are only counted; the element is decoded once it closes. A bare
// array is a candidates list once a string or an object element closed (or it closed empty);
// one of numbers only, or broken before, is text.
class JsonCandidates {
 public:
  enum class Verdict { reading, candidates, notCandidates };

  // Reads `text` from `pos` to the end; `onElement` hears of each closed element.
  template <class OnElement>
  void read(std::string_view text, std::size_t& pos, OnElement onElement) {
    for (; pos < text.size() && !finished_; ++pos) {
      step(text, pos, onElement);
    }
  }

  [[nodiscard]] Verdict verdict() const { return verdict_; }
  // Where the reply proved to be a candidates list.
  [[nodiscard]] std::size_t recognisedAt() const { return recognisedAt_; }

 private:
  enum class Expect { key, colon, value, comma };

  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

  void recognise(std::size_t at) {
    if (verdict_ == Verdict::reading) {
      verdict_ = Verdict::candidates;
      recognisedAt_ = at;
    }
  }

  // The list closed or the JSON broke: a list already recognised keeps what it gave.
  void end() {
    if (verdict_ == Verdict::reading) {
      verdict_ = Verdict::notCandidates;
    }
    finished_ = true;
  }

  template <class OnElement>
  void step(std::string_view text, std::size_t i, OnElement& onElement) {
    const char c = text[i];
    if (inString_) {
      if (escaped_) {
        escaped_ = false;
      } else if (c == '\\') {
        escaped_ = true;
      } else if (c == '"') {
        inString_ = false;
        stringEnded(text, i, onElement);
      }
      return;
    }
    if (scalar_) {
      if (c != ',' && c != ']' && c != '}' && !isBlank(c)) {
        return;
      }
      scalar_ = false;
    }
    if (stack_.empty()) {
      if (c == '{' || c == '[') {
        stack_.push_back(c);
        listDepth_ = c == '[' ? 1 : 0;
      } else if (!isBlank(c)) {
        end();
      }
    } else if (stack_.size() == listDepth_) {
      listStep(i, c);
    } else if (stack_.size() == 1) {
      rootObjectStep(i, c);
    } else if (c == '"') {
      inString_ = true;
    } else if (c == '{' || c == '[') {
      stack_.push_back(c);
    } else if (c == '}' || c == ']') {
      stack_.pop_back();
      if (stack_.size() == listDepth_ && elementStart_ != kNone) {
        element(text.substr(elementStart_, i + 1 - elementStart_), i, onElement);
      } else if (stack_.size() == 1) {
        expect_ = Expect::comma;
      }
    }
  }

  void listStep(std::size_t i, char c) {
    if (c == ']') {
      if (!sawElement_) {
        recognise(i);  // [] or an empty envelope: a list with nothing usable
      }
      end();
    } else if (c == '"' || c == '{' || c == '[') {
      elementStart_ = i;
      if (c == '"') {
        inString_ = true;
      } else {
        stack_.push_back(c);
      }
    } else if (c == '-' || (c >= '0' && c <= '9') || c == 't' || c == 'f' || c == 'n') {
      scalar_ = true;
      sawElement_ = true;
    } else if (c != ',' && !isBlank(c)) {
      end();
    }
  }

  void rootObjectStep(std::size_t i, char c) {
    if (isBlank(c)) {
      return;
    }
    switch (expect_) {
      case Expect::key:
        if (c == '"') {
          inString_ = true;
          keyStart_ = i;
        } else if (c != ',') {
          end();
        }
        return;
      case Expect::colon:
        expect_ = Expect::value;
        if (c != ':') {
          end();
        }
        return;
      case Expect::value:
        expect_ = Expect::comma;
        if (c == '[' && keyIsCandidates_) {
          stack_.push_back(c);
          listDepth_ = 2;
          recognise(i);
        } else if (c == '{' || c == '[') {
          stack_.push_back(c);
        } else if (c == '"') {
          inString_ = true;
        } else {
          scalar_ = true;
        }
        return;
      case Expect::comma:
        if (c == ',') {
          expect_ = Expect::key;
        } else {
          end();  // the root closed without candidates, or something else follows
        }
        return;
    }
  }

  template <class OnElement>
  void stringEnded(std::string_view text, std::size_t i, OnElement& onElement) {
    if (stack_.size() == listDepth_ && elementStart_ != kNone) {
      element(text.substr(elementStart_, i + 1 - elementStart_), i, onElement);
    } else if (stack_.size() == 1 && keyStart_ != kNone) {
      keyIsCandidates_ = text.substr(keyStart_, i + 1 - keyStart_) == kCandidatesKey;
      keyStart_ = kNone;
      expect_ = Expect::colon;
    }
  }

  template <class OnElement>
  void element(std::string_view raw, std::size_t i, OnElement& onElement) {
    elementStart_ = kNone;
    sawElement_ = true;
    if (raw.front() == '"' || raw.front() == '{') {
      recognise(i);
    }
    const auto decoded = json::parse(raw);
    if (auto payload = decoded ? payloadOf(*decoded) : std::nullopt) {
      onElement(std::move(*payload));
    }
  }

  std::string stack_;
  std::size_t listDepth_ = 0;  // the depth of the candidates list once known, else 0
  Expect expect_ = Expect::key;
  bool inString_ = false;
  bool escaped_ = false;
  bool scalar_ = false;
  bool keyIsCandidates_ = false;
  bool sawElement_ = false;
  std::size_t keyStart_ = kNone;
  std::size_t elementStart_ = kNone;
  Verdict verdict_ = Verdict::reading;
  std::size_t recognisedAt_ = kNone;
  bool finished_ = false;
};

// Collects list items one complete line at a time: each marker line opens an item, unmarked
// lines continue the current one, blank lines are dropped.
class ListSplitter {
 public:
  // The item the line closes, if it closes one.
  std::optional<std::string> addLine(std::string_view line) {
    std::optional<std::string> closed;
    const auto marker = listMarkerEnd(line);
    if (marker && !block_.empty()) {
      closed = closeItem();
    }
    if (marker) {
      line.remove_prefix(*marker);
    }
    if (text::isBlank(line)) {
      return closed;
    }
    if (!block_.empty()) {
      block_ += '\n';
    }
    block_ += line;
    return closed;
  }

  // Whether `line` (so far) would close an item.
  [[nodiscard]] bool wouldClose(std::string_view line) const {
    return !block_.empty() && listMarkerEnd(line).has_value();
  }
  [[nodiscard]] std::size_t closedCount() const { return closed_; }

  // The last item, with a closing code fence removed when the reply opened with one.
  std::optional<std::string> finish(bool fenced) {
    std::string last = text::trim(fenced ? withoutClosingFence(block_) : std::string_view(block_));
    block_.clear();
    return last.empty() ? std::nullopt : std::optional<std::string>(std::move(last));
  }

 private:
  std::string closeItem() {
    ++closed_;
    std::string item = text::trim(block_);  // the block only holds non-blank lines
    block_.clear();
    return item;
  }

  std::string block_;
  std::size_t closed_ = 0;
};

// Where "{\s*"candidates"\s*:" matches at `at`: the length, 0 when it does not, kNone when the
// text ends before it can tell.
std::size_t envelopeStartAt(std::string_view text, std::size_t at) {
  std::size_t i = at + 1;
  const auto blanks = [&] {
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80 && isSpace(char32_t(text[i]))) {
      ++i;
    }
  };
  blanks();
  const std::string_view rest = text.substr(std::min(i, text.size()));
  if (rest.size() < kCandidatesKey.size()) {
    return kCandidatesKey.starts_with(rest) ? kNone : 0;
  }
  if (!rest.starts_with(kCandidatesKey)) {
    return 0;
  }
  i += kCandidatesKey.size();
  blanks();
  if (i >= text.size()) {
    return kNone;
  }
  return text[i] == ':' ? i + 1 - at : 0;
}

}  // namespace

struct ReplyReader::State {
  enum class Stage { leading, reasoning, fence, answer, noAnswer };
  enum class Mode { json, list };

  explicit State(int expectedCount) : limit(static_cast<std::size_t>(std::max(expectedCount, 1))) {}

  std::size_t limit;
  std::string text;     // everything appended, repaired
  std::string partial;  // the start of a UTF-8 sequence the next piece completes
  Stage stage = Stage::leading;
  std::size_t pos = 0;
  bool fenced = false;
  bool sawOpenTag = false;   // a <think> came first: no later </think> belongs to a template
  bool watching = true;      // a lone </think> may still turn what came before into reasoning
  std::size_t watchPos = 0;  // where the search for a lone </think> goes on
  bool jsonFirst = false;    // the answer opened with '{' or '['
  std::size_t answerStart = 0;

  Mode mode = Mode::list;
  JsonCandidates json;
  std::size_t jsonPos = 0;
  ListSplitter list;
  std::size_t lineStart = 0;
  std::size_t scanPos = 0;
  std::size_t braceFrom = 0;  // where the search for an envelope after prose goes on
  std::vector<GeneratedCandidate> found;
  bool finished = false;

  [[nodiscard]] bool held() const { return watching && !sawOpenTag; }

  void add(CandidatePayload payload, bool fromJson) {
    if (found.size() >= limit) {
      return;  // past the expected count nothing more is shown or returned
    }
    std::string trimmed = text::trim(payload.text);
    if (trimmed.empty()) {
      return;
    }
    found.push_back({Uuid::random(), std::move(trimmed), fromJson ? std::move(payload.title) : std::nullopt,
                     fromJson ? payload.confidence.value_or(ResponseParser::kDefaultJsonConfidence)
                              : ResponseParser::kListConfidence});
  }

  void startAnswer(std::size_t at) {
    stage = Stage::answer;
    answerStart = at;
    jsonFirst = text[at] == '{' || text[at] == '[';
    found.clear();
    list = ListSplitter();
    lineStart = scanPos = braceFrom = at;
    if (jsonFirst) {
      startJson(at);
    } else {
      mode = Mode::list;
    }
  }

  void startJson(std::size_t at) {
    mode = Mode::json;
    json = JsonCandidates();
    jsonPos = at;
  }

  // Moves through the stages as far as the text allows; `atEnd` settles what waits for more.
  void advance(bool atEnd) {
    while (true) {
      const std::string_view rest = std::string_view(text).substr(std::min(pos, text.size()));
      switch (stage) {
        case Stage::leading: {
          std::size_t i = pos;
          skipSpaces(text, i);
          pos = i;
          const std::string_view body = std::string_view(text).substr(pos);
          if (body.empty()) {
            return;
          }
          if (body.starts_with(kReasoningOpen)) {
            stage = Stage::reasoning;
            pos += kReasoningOpen.size();
            sawOpenTag = true;
          } else if (!atEnd && kReasoningOpen.starts_with(body)) {
            return;
          } else if (body.starts_with(kFence)) {
            stage = Stage::fence;
            pos += kFence.size();
          } else if (!atEnd && kFence.starts_with(body)) {
            return;
          } else {
            startAnswer(pos);
          }
          continue;
        }
        case Stage::reasoning: {
          const std::size_t close = rest.find(kReasoningClose);
          if (close == kNone) {
            pos = std::max(pos, text.size() - std::min(text.size(), kReasoningClose.size() - 1));
            return;
          }
          pos += close + kReasoningClose.size();
          stage = Stage::leading;
          continue;
        }
        case Stage::fence: {
          if (!atEnd && rest.size() < kFenceLanguage.size() && kFenceLanguage.starts_with(rest)) {
            return;
          }
          std::size_t i = pos + (rest.starts_with(kFenceLanguage) ? kFenceLanguage.size() : 0);
          skipSpaces(text, i);
          if (i >= text.size()) {
            return;  // the fence's own line, or the blank after it, is still being written
          }
          fenced = true;
          startAnswer(i);
          continue;
        }
        case Stage::answer:
          if (readAnswer(atEnd) || stage != Stage::answer) {
            continue;  // a lone </think>: the answer starts again after it
          }
          return;
        case Stage::noAnswer:
          return;
      }
    }
  }

  // True when a lone </think> restarted the answer.
  bool readAnswer(bool atEnd) {
    std::size_t recognisedAt = kNone;
    if (mode == Mode::json) {
      json.read(text, jsonPos, [this](CandidatePayload p) { add(std::move(p), true); });
      if (json.verdict() == JsonCandidates::Verdict::candidates && jsonFirst) {
        recognisedAt = json.recognisedAt();  // an answer opening with JSON candidates had no reasoning
      } else if (json.verdict() == JsonCandidates::Verdict::notCandidates) {
        found.clear();
        mode = Mode::list;
        jsonFirst = false;  // it did not open with JSON candidates after all
        braceFrom = std::max(braceFrom, answerStart + 1);
      }
    }
    if (held() && watchForTags(recognisedAt)) {
      return true;
    }
    if (recognisedAt != kNone) {
      watching = false;
    }
    if (mode == Mode::list) {
      readLines(atEnd);
    }
    return false;
  }

  // Looks for <think> and </think> up to `limitAt`; true when a lone </think> ended reasoning.
  bool watchForTags(std::size_t limitAt) {
    const std::size_t end = std::min(limitAt, text.size());
    for (std::size_t at = text.find('<', std::max(watchPos, answerStart)); at < end;
         at = text.find('<', at + 1)) {
      const std::string_view from = std::string_view(text).substr(at);
      if (from.starts_with(kReasoningClose)) {
        watching = false;
        pos = at + kReasoningClose.size();
        stage = Stage::leading;
        found.clear();
        return true;
      }
      if (from.starts_with(kReasoningOpen)) {
        watching = false;
        return false;
      }
      if (kReasoningClose.starts_with(from) || kReasoningOpen.starts_with(from)) {
        watchPos = at;  // the tag is still being written
        return false;
      }
    }
    watchPos = std::max(watchPos, end == kNone ? text.size() : end);
    return false;
  }

  // Splits complete lines into items, switching to JSON at an envelope that only a line of
  // prose precedes.
  void readLines(bool atEnd) {
    for (std::size_t i = scanPos; i < text.size();) {
      const std::size_t length = lineBreakLength(text, i);
      if (length == 0) {
        ++i;
        continue;
      }
      if (switchedToEnvelope(i, atEnd)) {
        return;
      }
      if (auto item = list.addLine(std::string_view(text).substr(lineStart, i - lineStart))) {
        add({std::move(*item), std::nullopt, std::nullopt}, false);
      }
      i += length;
      lineStart = scanPos = i;
    }
    scanPos = text.size();
    if (switchedToEnvelope(text.size(), atEnd) || !atEnd) {
      return;
    }
    if (auto item = list.addLine(std::string_view(text).substr(lineStart))) {
      add({std::move(*item), std::nullopt, std::nullopt}, false);
    }
  }

  // Looks for an envelope in the current line up to `lineEnd`.
  bool switchedToEnvelope(std::size_t lineEnd, bool atEnd) {
    const std::string_view line = std::string_view(text).substr(0, lineEnd);  // never past the line
    for (std::size_t at = line.find('{', std::max(braceFrom, lineStart)); at < lineEnd;
         at = line.find('{', at + 1)) {
      const std::size_t length = envelopeStartAt(text, at);
      if (length == kNone && !atEnd) {
        braceFrom = at;
        return true;  // wait: the text ends before it tells
      }
      if (length != kNone && length > 0 && list.closedCount() == 0 &&
          !list.wouldClose(std::string_view(text).substr(lineStart, at - lineStart))) {
        found.clear();
        braceFrom = at + 1;  // should it not be an envelope after all, the lines go on from here
        startJson(at);
        readAnswer(atEnd);
        return true;
      }
    }
    braceFrom = std::max(braceFrom, lineEnd);
    return false;
  }

  Result<std::vector<GeneratedCandidate>> finish() {
    finished = true;
    if (!partial.empty()) {
      text += text::repairUtf8(partial);
      partial.clear();
    }
    advance(true);
    if (stage != Stage::answer) {
      stage = Stage::noAnswer;
      return fail(AssistantError::invalidModelResponse());
    }
    if (mode == Mode::json && json.verdict() != JsonCandidates::Verdict::candidates) {
      // JSON that never became a candidates list: read as text from the answer's start.
      found.clear();
      mode = Mode::list;
      list = ListSplitter();
      lineStart = scanPos = answerStart;
      braceFrom = answerStart + 1;
      readLines(true);
    }
    if (mode == Mode::json) {
      if (found.empty()) {
        return fail(AssistantError::invalidModelResponse());  // never raw JSON to insert
      }
    } else if (auto last = list.finish(fenced)) {
      add({std::move(*last), std::nullopt, std::nullopt}, false);
    }
    if (mode == Mode::list && found.empty()) {
      std::string whole = text::trim(std::string_view(text).substr(answerStart));
      if (fenced) {
        whole = text::trim(withoutClosingFence(whole));
      }
      if (whole.empty()) {
        stage = Stage::noAnswer;
        return fail(AssistantError::invalidModelResponse());  // a bare fence holds no reply
      }
      found.push_back({Uuid::random(), std::move(whole), std::nullopt, ResponseParser::kWholeTextConfidence});
    }
    watching = false;
    found.resize(std::min(found.size(), limit));
    return found;
  }
};

ReplyReader::ReplyReader(int expectedCount) : state_(std::make_unique<State>(expectedCount)) {}

ReplyReader::~ReplyReader() = default;

void ReplyReader::append(std::string_view piece) {
  State& s = *state_;
  if (s.finished) {
    return;
  }
  std::string joined;
  if (!s.partial.empty()) {
    joined = std::move(s.partial) + std::string(piece);
    s.partial.clear();
    piece = joined;
  }
  const std::size_t tail = incompleteTail(piece);
  s.partial = piece.substr(piece.size() - tail);
  piece.remove_suffix(tail);
  if (text::isValidUtf8(piece)) {
    s.text.append(piece);
  } else {
    s.text += text::repairUtf8(piece);
  }
  s.advance(false);
}

std::vector<GeneratedCandidate> ReplyReader::completed() const {
  const State& s = *state_;
  if (s.held() || s.stage != State::Stage::answer) {
    return {};
  }
  return {s.found.begin(), s.found.begin() + static_cast<long>(std::min(s.found.size(), s.limit))};
}

Result<std::vector<GeneratedCandidate>> ReplyReader::finish() {
  return state_->finish();
}

bool ReplyReader::hasAnswer() const {
  return state_->stage == State::Stage::answer;
}

Result<std::vector<GeneratedCandidate>> ResponseParser::parse(std::string_view text, int expectedCount) {
  ReplyReader reader(expectedCount);
  reader.append(text);
  return reader.finish();
}

bool ResponseParser::holdsNoAnswer(std::string_view text) {
  ReplyReader reader(1);
  reader.append(text);
  (void)reader.finish();
  return !reader.hasAnswer();
}

}  // namespace wrenfold
