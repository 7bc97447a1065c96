#include "platform/linux/call_patience.h"

#include <gtest/gtest.h>

#include <optional>

namespace wrenfold {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

// A program read call after call under a 1.5 s bound, as the reader reads a window, twice, then
// asked once without a bound, as the next trigger starts: one answering every call after 400 ms
// is read every time and never paused; one that never answers costs each read its bound and no
// more, and is left alone only once a call unbound by any read went unanswered for 2 s.
TEST(CallPatienceTest, ASlowProgramKeepsBeingReadWhileASilentOneIsPausedAfterTheHangBound) {
  struct Row {
    std::optional<milliseconds> answersAfter;
    int answeredPerRead;
    milliseconds unboundCall;
    bool paused;
  };
  for (const Row& row : {Row{400ms, 3, 400ms, false}, Row{std::nullopt, 0, 2000ms, true}}) {
    const auto label = row.answersAfter ? "slow" : "silent";
    CallPatience::TimePoint now{};
    CallPatience patience({2000ms, 3000ms}, [&now] { return now; });
    const auto call = [&] {
      const auto allowed = patience.allowance(":1.42");
      if (!allowed) {
        return false;
      }
      const bool answers = row.answersAfter && *row.answersAfter <= *allowed;
      now += answers ? *row.answersAfter : *allowed;
      patience.record(":1.42", *allowed, answers);
      return answers;
    };
    for (int read = 0; read < 2; ++read) {
      const auto start = now;
      const CallPatience::Bound bound(patience, now + 1500ms);
      int answered = 0;
      for (int i = 0; i < 20; ++i) {
        answered += call() ? 1 : 0;
      }
      EXPECT_EQ(now - start, 1500ms) << label << " read " << read;
      EXPECT_EQ(answered, row.answeredPerRead) << label << " read " << read;
      EXPECT_FALSE(patience.paused(":1.42")) << label << " read " << read;
    }
    const auto start = now;
    static_cast<void>(call());
    EXPECT_EQ(now - start, row.unboundCall) << label;
    EXPECT_EQ(patience.paused(":1.42"), row.paused) << label;
    EXPECT_EQ(patience.allowance(":1.42").has_value(), !row.paused) << label;
    EXPECT_TRUE(patience.allowance(":1.7")) << label << ": another program is not held to it";
    now += 3000ms;
    EXPECT_EQ(patience.allowance(":1.42"), std::optional(2000ms)) << label << ": asked afresh";
  }
}

}  // namespace
}  // namespace wrenfold
