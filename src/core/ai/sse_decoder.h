#pragma once

// Reads a server-sent event stream (text/event-stream) piece by piece as it arrives: "event:"
// and "data:" fields, comment lines (": ..." keep-alives) skipped, events ending at a blank
// line. Lines end at CR LF, LF or CR; pieces may split lines anywhere, CR LF included.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wrenfold {

struct SseEvent {
  std::string event;  // empty when the event names no type
  std::string data;   // the data lines joined by line feeds
};

class SseDecoder {
 public:
  // The events completed by `piece`, in order.
  [[nodiscard]] std::vector<SseEvent> feed(std::string_view piece);
  // The event still open when the stream ended without its blank line, if it holds data.
  [[nodiscard]] std::optional<SseEvent> finish();

 private:
  void readLine(std::string_view line, std::vector<SseEvent>& events);
  [[nodiscard]] std::optional<SseEvent> dispatch();

  std::string pending_;  // an unfinished line
  bool afterCarriageReturn_ = false;
  SseEvent current_;
  bool hasData_ = false;
};

}  // namespace wrenfold
