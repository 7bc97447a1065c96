#include "platform/linux/call_patience.h"

#include <gtest/gtest.h>

#include "platform/linux/atspi_focus_finder.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;

// A program read call after call under a 1.5 s bound twice, as the reader reads a window, then
// asked once unbound, as the next trigger starts: one answering every call after 400 ms is read
// every time and never paused; one that never answers costs each read its bound and no more, and
// is left alone (other programs not) only once an unbound call went unanswered for 2 s.
TEST(CallPatienceTest, ASlowProgramKeepsBeingReadWhileASilentOneIsPausedAfterTheHangBound) {
  for (const auto answersAfter : {std::optional(400ms), std::optional<std::chrono::milliseconds>()}) {
    CallPatience::TimePoint now{};
    CallPatience patience({2000ms, 3000ms}, [&now] { return now; });
    const auto call = [&] {
      const auto allowed = patience.allowance(":1.42");
      const bool answers = allowed && answersAfter && *answersAfter <= *allowed;
      now += !allowed ? 0ms : answers ? *answersAfter : *allowed;
      return allowed && !patience.record(":1.42", *allowed, answers) && answers;
    };
    for (int read = 0; read < 2; ++read) {
      const auto start = now;
      const CallPatience::Bound bound(patience, now + 1500ms);
      int answered = 0;
      for (int i = 0; i < 20; ++i) {
        answered += call() ? 1 : 0;
      }
      EXPECT_EQ(now - start, 1500ms);
      EXPECT_EQ(answered, answersAfter ? 3 : 0);
    }
    const auto start = now;
    EXPECT_EQ(call(), answersAfter.has_value());
    EXPECT_EQ(now - start, answersAfter ? 400ms : 2000ms);
    EXPECT_EQ(patience.paused(":1.42"), !answersAfter);
    EXPECT_TRUE(patience.allowance(":1.7"));
    now += 3000ms;
    EXPECT_EQ(patience.allowance(":1.42"), std::optional(2000ms)) << "asked afresh after the pause";
    // Silent again: left alone twice as long, so a program that never answers costs a wait now
    // and then, not one per trigger.
    EXPECT_EQ(call(), answersAfter.has_value());
    now += 5000ms;
    EXPECT_EQ(patience.paused(":1.42"), !answersAfter);
    now += 1000ms;
    EXPECT_FALSE(patience.paused(":1.42"));
  }
}

// A walk over a program answering each round trip just inside the call timeout stops on time,
// long before the element bound; over a quick one, at the element bound.
TEST(SearchBudgetTest, AWalkEndsAtWhicheverBoundComesFirst) {
  for (const auto& [perElement, walked] : {std::pair{290, 2}, std::pair{1, 50}}) {
    std::chrono::steady_clock::time_point now{};
    SearchBudget budget(50, std::chrono::milliseconds(400), [&now] { return now; });
    int count = 0;
    for (; budget.take(); ++count) {
      now += std::chrono::milliseconds(perElement);
    }
    EXPECT_EQ(count, walked) << perElement;
  }
}

}  // namespace
}  // namespace wrenfold
