#include "platform/linux/text_offsets.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/atspi_text_access.h"

namespace wrenfold {
namespace {

constexpr auto cp = OffsetUnit::codePoint;
constexpr auto u16 = OffsetUnit::utf16;

TEST(OffsetUnitTest, KnownToolkitsByNameOthersByTheirCount) {
  struct Row {
    const char* toolkit;
    std::string text;
    std::int64_t count;
    OffsetUnit unit;
  };
  const std::vector<Row> rows = {
      {"Qt", "a", 1, u16},        {"GTK", "a🙂", 3, cp},   {"gtk", "a🙂", 2, cp},
      {"Gecko", "a🙂", 3, u16}, {"Gecko", "a🙂", 2, cp}, {"", "你好", 2, cp},
      {"", "🙂🙂", 4, u16},   {"", "🙂🙂", 7, cp},  // neither: code points, the safer guess
  };
  for (const auto& row : rows) {
    EXPECT_EQ(offsetUnitFor(row.toolkit, row.text, row.count), row.unit) << row.toolkit << " " << row.text;
  }
}

TEST(ToolkitOffsetTest, ConvertsBothWaysAroundCharactersOutsideTheBmp) {
  const std::string text = "a🙂b你";  // code points a,🙂,b,你; UTF-16 units a,hi,lo,b,你
  struct Row {
    OffsetUnit unit;
    std::int64_t toolkit;
    std::optional<std::int64_t> utf16;
  };
  const std::vector<Row> rows = {
      {cp, 0, 0},
      {cp, 1, 1},
      {cp, 2, 3},
      {cp, 4, 5},
      {cp, 5, std::nullopt},
      {cp, -1, std::nullopt},
      {u16, 3, 3},
      {u16, 5, 5},
      {u16, 6, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(utf16OffsetOfToolkitOffset(text, row.toolkit, row.unit), row.utf16)
        << (row.unit == cp ? "code point " : "utf16 ") << row.toolkit;
  }
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 3, cp), 2);
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 5, cp), 4);
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 3, u16), 3);
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 2, cp), std::nullopt) << "inside the surrogate pair";
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 2, u16), std::nullopt) << "inside the surrogate pair";
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, 6, cp), std::nullopt);
  EXPECT_EQ(toolkitOffsetOfUtf16Offset(text, -1, u16), std::nullopt);
}

TEST(ToolkitOffsetTest, InsertionLengthIsUtf16UnitsForQtAndBytesOtherwise) {
  EXPECT_EQ(insertionLength("你好🙂", u16), 4);
  EXPECT_EQ(insertionLength("你好🙂", cp), 10);
}

TEST(ToolkitOffsetTest, ReplacesARangeGivenInToolkitOffsets) {
  EXPECT_EQ(replacingToolkitRange("草稿", 0, 2, "你好🙂", cp), "你好🙂");
  EXPECT_EQ(replacingToolkitRange("a🙂b", 1, 2, "X", cp), "aXb");
  EXPECT_EQ(replacingToolkitRange("a🙂b", 1, 3, "X", u16), "aXb");
  EXPECT_EQ(replacingToolkitRange("a🙂b", 3, 3, "X", cp), "a🙂bX");
  EXPECT_EQ(replacingToolkitRange("a🙂b", 1, 2, "X", u16), std::nullopt) << "half an emoji";
  EXPECT_EQ(replacingToolkitRange("ab", 2, 1, "X", cp), std::nullopt);
  EXPECT_EQ(replacingToolkitRange("ab", 1, 3, "X", cp), std::nullopt);
}

// Regression: Qt given a byte count inserted junk after an embedded NUL; the text read back as
// a C string looked right, and only the character count showed the junk.
TEST(TextSnapshotTest, HoldsOnlyWhenTextAndCharacterCountAgree) {
  EXPECT_TRUE((TextSnapshot{"a🙂", u16, 3}).holds("a🙂"));
  EXPECT_TRUE((TextSnapshot{"a🙂", cp, 2}).holds("a🙂"));
  EXPECT_FALSE((TextSnapshot{"你好🙂 world", u16, 16}).holds("你好🙂 world"));
  EXPECT_FALSE((TextSnapshot{"ab", cp, 2}).holds("abc"));
}

}  // namespace
}  // namespace wrenfold
