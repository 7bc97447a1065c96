#include "core/ai/sse_decoder.h"

namespace wrenfold {

std::vector<SseEvent> SseDecoder::feed(std::string_view piece) {
  std::vector<SseEvent> events;
  if (afterCarriageReturn_ && piece.starts_with('\n')) {
    piece.remove_prefix(1);  // the second half of a CR LF split between pieces
  }
  afterCarriageReturn_ = false;
  pending_.append(piece);
  std::size_t start = 0;
  // A line ends at CR LF, LF or a lone CR; a CR at the end of the piece ends its line now and
  // swallows an LF that opens the next piece.
  for (std::size_t end = pending_.find_first_of("\r\n"); end != std::string::npos;
       end = pending_.find_first_of("\r\n", start)) {
    readLine(std::string_view(pending_.data() + start, end - start), events);
    start = end + 1;
    if (pending_[end] == '\r') {
      if (start == pending_.size()) {
        afterCarriageReturn_ = true;
      } else if (pending_[start] == '\n') {
        ++start;
      }
    }
  }
  pending_.erase(0, start);
  return events;
}

std::optional<SseEvent> SseDecoder::finish() {
  std::vector<SseEvent> events;
  if (!pending_.empty()) {
    std::string last;
    last.swap(pending_);
    readLine(last, events);
  }
  return dispatch();
}

void SseDecoder::readLine(std::string_view line, std::vector<SseEvent>& events) {
  if (line.empty()) {
    if (auto event = dispatch()) {
      events.push_back(std::move(*event));
    }
    return;
  }
  if (line.starts_with(':')) {
    return;  // a comment: keep-alives such as ": OPENROUTER PROCESSING"
  }
  const auto colon = line.find(':');
  const std::string_view field = line.substr(0, colon);
  std::string_view value = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  if (value.starts_with(' ')) {
    value.remove_prefix(1);
  }
  if (field == "event") {
    current_.event = value;
  } else if (field == "data") {
    if (hasData_) {
      current_.data += '\n';
    }
    current_.data += value;
    hasData_ = true;
  }
}

std::optional<SseEvent> SseDecoder::dispatch() {
  std::optional<SseEvent> event;
  if (hasData_) {
    event = std::move(current_);
  }
  current_ = {};
  hasData_ = false;
  return event;
}

}  // namespace wrenfold
