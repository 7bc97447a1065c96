#include "platform/linux/call_patience.h"

#include <gtest/gtest.h>

#include <optional>

namespace wrenfold {
namespace {

using std::chrono::milliseconds;
using namespace std::chrono_literals;

// A program read call after call under a 1.5 s bound, as the reader reads a window, then once
// more at once: one answering every call after 400 ms is read each time and never paused; one
// that never answers waits out the bound once, then the rest of the 2 s hang bound, and is left
// alone until the pause is over.
TEST(CallPatienceTest, ASlowProgramKeepsBeingReadWhileASilentOneIsPausedAfterTheHangBound) {
  struct Row {
    std::optional<milliseconds> answersAfter;
    int answered;  // in each read
    milliseconds firstRead, secondRead;
    bool paused;
  };
  for (const Row& row : {Row{400ms, 3, 1500ms, 1500ms, false}, Row{std::nullopt, 0, 1500ms, 500ms, true}}) {
    CallPatience::TimePoint now{};
    CallPatience patience({2000ms, 3000ms}, [&now] { return now; });
    const auto read = [&](int& answered) {
      const auto start = now;
      const CallPatience::Bound bound(patience, now + 1500ms);
      for (int call = 0; call < 20; ++call) {
        const auto allowed = patience.allowance(":1.42");
        if (!allowed) {
          continue;
        }
        const bool answers = row.answersAfter && *row.answersAfter <= *allowed;
        const auto took = answers ? *row.answersAfter : *allowed;
        now += took;
        answered += answers ? 1 : 0;
        patience.record(":1.42", took, answers);
      }
      return now - start;
    };
    const auto label = row.answersAfter ? "slow" : "silent";
    int first = 0;
    int second = 0;
    EXPECT_EQ(read(first), row.firstRead) << label;
    EXPECT_EQ(read(second), row.secondRead) << label;
    EXPECT_EQ(first, row.answered) << label;
    EXPECT_EQ(second, row.answered) << label;
    EXPECT_EQ(patience.paused(":1.42"), row.paused) << label;
    EXPECT_TRUE(patience.allowance(":1.7")) << label << ": another program is not held to it";
    now += 3000ms;
    EXPECT_EQ(patience.allowance(":1.42"), std::optional(2000ms)) << label << ": asked afresh";
  }
}

}  // namespace
}  // namespace wrenfold
