// A server-sent event stream as it arrives: the events do not depend on where the stream was
// cut into pieces, and no line feed that ended a line is left in a field.

#include <algorithm>
#include <string>
#include <vector>

#include "core/ai/sse_decoder.h"
#include "fuzz_check.h"

namespace wrenfold {
namespace {

// Every event of `stream` fed in pieces of the given lengths (cycled), then the end.
std::vector<SseEvent> decode(std::string_view stream, std::string_view cuts) {
  SseDecoder decoder;
  std::vector<SseEvent> events;
  std::size_t next = 0;
  while (!stream.empty()) {
    const std::size_t length =
        cuts.empty() ? stream.size() : 1 + static_cast<unsigned char>(cuts[next++ % cuts.size()]) % 64;
    for (SseEvent& event : decoder.feed(stream.substr(0, length))) {
      events.push_back(std::move(event));
    }
    stream.remove_prefix(std::min(length, stream.size()));
  }
  if (auto last = decoder.finish()) {
    events.push_back(std::move(*last));
  }
  return events;
}

bool sameEvents(const std::vector<SseEvent>& a, const std::vector<SseEvent>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SseEvent& x, const SseEvent& y) {
    return x.event == y.event && x.data == y.data;
  });
}

}  // namespace
}  // namespace wrenfold

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wrenfold;
  const auto parts = fuzz::fields(fuzz::text(data, size), 2);
  const auto whole = decode(parts[1], {});
  FUZZ_REQUIRE(sameEvents(whole, decode(parts[1], parts[0])));
  for (const SseEvent& event : whole) {
    FUZZ_REQUIRE(event.event.find('\n') == std::string::npos);
  }
  return 0;
}
