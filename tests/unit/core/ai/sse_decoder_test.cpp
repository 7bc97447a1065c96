#include "core/ai/sse_decoder.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

// Servers end lines with LF, CR LF or a lone CR, and the network may cut a CR LF in two.
TEST(SseDecoderTest, EveryLineEndEndsALineWhereverTheStreamIsCut) {
  const std::string stream = "event: a\rdata: 1\r\rdata: 2\r\ndata: 3\r\n\r\n: ping\ndata: 4\n\ndata: 5";
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    SseDecoder decoder;
    auto events = decoder.feed(std::string_view(stream).substr(0, cut));
    for (SseEvent& event : decoder.feed(std::string_view(stream).substr(cut))) {
      events.push_back(std::move(event));
    }
    if (auto last = decoder.finish()) {
      events.push_back(std::move(*last));
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].event, "a");
    EXPECT_EQ(events[0].data, "1");
    EXPECT_EQ(events[1].data, "2\n3");
    EXPECT_EQ(events[2].data, "4");
    EXPECT_EQ(events[3].data, "5");
  }
}

}  // namespace
}  // namespace wrenfold
