#include "core/context/context_snapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wrenfold {
namespace {

TEST(ContextSnapshot, BestTextTakesTheFirstNonBlankInOrder) {
  struct Row {
    std::optional<std::string> selected, focused, nearby;
    std::string visible, expected;
  };
  const std::vector<Row> rows = {
      {"   ", "word", "n", "v", "word"},
      {std::nullopt, std::nullopt, std::nullopt, "", ""},
      {" \n", "\t", "\u3000", " ", ""},
      {"\n 选中 \u3000", "focused", std::nullopt, "v", "选中"},
      {std::nullopt, "", " 附近\n", "v", "附近"},
      {std::nullopt, std::nullopt, std::nullopt, "\n 可见 \n", "可见"},
  };
  for (const auto& row : rows) {
    ContextSnapshot s;
    s.selectedText = row.selected;
    s.focusedText = row.focused;
    s.nearbyText = row.nearby;
    s.visibleText = row.visible;
    EXPECT_EQ(s.bestText(), row.expected) << row.expected;
  }
}

}  // namespace
}  // namespace wrenfold
