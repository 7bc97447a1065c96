#include "core/ai/sse_decoder.h"

namespace wrenfold {

std::vector<SseEvent> SseDecoder::feed(std::string_view piece) {
  std::vector<SseEvent> events;
  pending_.append(piece);
  std::size_t start = 0;
  for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n', start)) {
    std::string_view line(pending_.data() + start, end - start);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    readLine(line, events);
    start = end + 1;
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
