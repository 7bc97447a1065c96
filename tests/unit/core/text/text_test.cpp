#include "core/text/text.h"

#include <gtest/gtest.h>

namespace wrenfold::text {
namespace {

const std::string kFamily =
    "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";  // 👨‍👩‍👧
const std::string kFlag = "\xF0\x9F\x87\xA8\xF0\x9F\x87\xB3";                    // 🇨🇳
const std::string kEAcute = "e\xCC\x81";                                         // e + U+0301

TEST(Trim, RemovesUnicodeWhiteSpaceAndLineBreaksAtBothEndsOnly) {
  struct Row {
    std::string input;
    std::string expected;
  };
  const Row rows[] = {
      {"  hello  ", "hello"},
      {"\n\t hello world \r\n", "hello world"},
      {"\xE3\x80\x80你好\xE3\x80\x80", "你好"},  // ideographic space U+3000
      {"\xC2\xA0x\xC2\xA0", "x"},                // no-break space
      {"\xE2\x80\xA8line\xE2\x80\xA9", "line"},  // line and paragraph separators
      {"\xC2\x85x", "x"},                        // next line U+0085
      {"a \xE3\x80\x80 b", "a \xE3\x80\x80 b"},  // inner space kept
      {"\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},        // zero-width space is not white space
      {"   ", ""},
      {"", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(trim(row.input), row.expected) << row.input;
    EXPECT_EQ(isBlank(row.input), row.expected.empty()) << row.input;
  }
}

TEST(Graphemes, CountsUserPerceivedCharacters) {
  EXPECT_EQ(graphemeCount(""), 0u);
  EXPECT_EQ(graphemeCount("abc"), 3u);
  EXPECT_EQ(graphemeCount("你好世界"), 4u);
  EXPECT_EQ(graphemeCount(kFamily), 1u);
  EXPECT_EQ(graphemeCount(kFlag + kFlag), 2u);
  EXPECT_EQ(graphemeCount(kEAcute), 1u);
  EXPECT_EQ(graphemeCount("\r\n"), 1u);
  // Plain ASCII is counted without ICU; both ways must agree on line breaks and controls.
  EXPECT_EQ(graphemeCount("\r\r\n\n\t x"), 6u);
  EXPECT_EQ(graphemeCount("\r\r\n\n\t x\u00e9"), 7u);
  EXPECT_EQ(graphemeCount("a\xFF"), 2u);  // an invalid byte counts as one U+FFFD
}

TEST(Graphemes, PrefixNeverSplitsACluster) {
  EXPECT_EQ(graphemePrefix("a" + kFamily + "b", 2), "a" + kFamily);
  EXPECT_EQ(graphemePrefix(kFlag + kFlag, 1), kFlag);
  EXPECT_EQ(graphemePrefix(kEAcute + "x", 1), kEAcute);
  EXPECT_EQ(graphemePrefix("你好", 5), "你好");
  EXPECT_EQ(graphemePrefix("你好", 0), "");
  EXPECT_EQ(graphemePrefix("ab\xFF", 3), "ab\xEF\xBF\xBD");  // output is always valid UTF-8
}

TEST(LowerCase, UsesTheRootLocaleMapping) {
  EXPECT_EQ(lowercased("Hello WORLD"), "hello world");
  EXPECT_EQ(lowercased("ÀÉÎ"), "àéî");
  EXPECT_EQ(lowercased("I"), "i");  // not the Turkish dotless ı
  EXPECT_EQ(lowercased("翻译成 English"), "翻译成 english");
}

TEST(Utf16, LengthsAndOffsetsCountCodeUnits) {
  EXPECT_EQ(utf16Length("abc"), 3u);
  EXPECT_EQ(utf16Length("你好"), 2u);
  EXPECT_EQ(utf16Length(kFlag), 4u);
  const std::string s = "a" + kFlag + "你";  // bytes: 1 + 8 + 3; units: 1 + 4 + 1
  EXPECT_EQ(byteOffsetOfUtf16(s, 0), 0u);
  EXPECT_EQ(byteOffsetOfUtf16(s, 1), 1u);
  EXPECT_EQ(byteOffsetOfUtf16(s, 2), std::nullopt);  // inside a surrogate pair
  EXPECT_EQ(byteOffsetOfUtf16(s, 3), 5u);
  EXPECT_EQ(byteOffsetOfUtf16(s, 6), 12u);
  EXPECT_EQ(byteOffsetOfUtf16(s, 7), std::nullopt);  // past the end
  EXPECT_EQ(utf16OffsetOfByte(s, 9), 5u);
  EXPECT_EQ(utf16OffsetOfByte(s, 100), 6u);
  EXPECT_EQ(fromUtf16(toUtf16(s)), s);
  EXPECT_EQ(fromUtf16(u"a\xD800"), "a\xEF\xBF\xBD");  // a lone surrogate is replaced
}

TEST(Utf8Repair, ReplacesEachIllFormedSequence) {
  struct Row {
    std::string input;
    std::string expected;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Row rows[] = {
      {"plain 你好", "plain 你好"},
      {"a\xFF"
       "b",
       "a" + fffd + "b"},
      {"\xE4\xBD", fffd},                               // truncated 3-byte sequence
      {"\xC0\xAF", fffd + fffd},                        // overlong
      {"\xED\xA0\x80", fffd + fffd + fffd},             // encoded surrogate
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // above U+10FFFF
  };
  for (const Row& row : rows) {
    EXPECT_EQ(repairUtf8(row.input), row.expected);
    EXPECT_TRUE(isValidUtf8(repairUtf8(row.input)));
    EXPECT_EQ(isValidUtf8(row.input), row.input == row.expected);
  }
}

}  // namespace
}  // namespace wrenfold::text
