#include <gtest/gtest.h>

#include "platform/linux/atspi_focus_finder.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;

// A walk over an application that answers each round trip just inside the call timeout stops
// on time, long before the element bound; a quick one stops at the element bound.
TEST(SearchBudgetTest, AWalkEndsAtWhicheverBoundComesFirst) {
  const struct {
    std::chrono::milliseconds perElement;
    int walked;
  } rows[] = {{290ms, 2}, {1ms, 50}, {0ms, 50}};
  for (const auto& row : rows) {
    std::chrono::steady_clock::time_point now{};
    SearchBudget budget(50, 400ms, [&now] { return now; });
    int walked = 0;
    while (budget.take()) {
      ++walked;
      now += row.perElement;
    }
    EXPECT_EQ(walked, row.walked) << row.perElement.count();
  }
}

}  // namespace
}  // namespace wrenfold
