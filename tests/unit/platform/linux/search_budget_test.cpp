#include <gtest/gtest.h>

#include "platform/linux/atspi_focus_finder.h"

namespace wrenfold {
namespace {

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
