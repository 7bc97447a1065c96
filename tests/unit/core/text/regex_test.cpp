#include "core/text/regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wrenfold::text {
namespace {

TEST(Regex, ClassesHaveUnicodeMeanings) {
  // CJK letters are word characters, so \b does not fall between 号 and 1.
  EXPECT_FALSE(Regex::literal(R"(\b\d{6}\b)").matches("验证码123456"));
  EXPECT_TRUE(Regex::literal(R"(\b\d{6}\b)").matches("验证码：123456。"));
  EXPECT_TRUE(Regex::literal(R"(^\s+$)").matches("\xE3\x80\x80\t"));            // ideographic space
  EXPECT_TRUE(Regex::literal(R"(^\d+$)").matches("\xEF\xBC\x91\xEF\xBC\x92"));  // full-width digits
  EXPECT_TRUE(Regex::literal(R"(^\w+$)").matches("你好abc"));
}

TEST(Regex, OffsetsAreBytesOfTheUtf8Subject) {
  const std::string subject = "你好 key=abc 世界 key=xyz";
  const Regex re = Regex::literal(R"(key=(\w+))");
  auto all = re.allMatches(subject);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].group(subject, 0), "key=abc");
  EXPECT_EQ(all[0].group(subject, 1), "abc");
  EXPECT_EQ(subject.substr(all[1].begin(), all[1].end() - all[1].begin()), "key=xyz");
  auto second = re.firstMatch(subject, all[0].end());
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(second->begin(), all[1].begin());
}

// The caller says where each search goes on: inside the last match, or (an offset that would
// not advance, an empty match) one whole character on, never inside a Chinese character.
TEST(Regex, ScanGoesOnWhereTheCallerSays) {
  const std::string subject = "密码=一 二=三，四";
  std::vector<std::string> seen;
  Regex::literal(R"(\S+=\S+)").scan(subject, [&](const RegexMatch& m) {
    seen.push_back(*m.group(subject, 0));
    return m.begin() + std::string("密码=一").size();
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"密码=一", "二=三，四"}));
  std::vector<std::size_t> at;
  Regex::literal("x*").scan(subject, [&](const RegexMatch& m) {
    at.push_back(m.begin());
    return m.begin();
  });
  EXPECT_EQ(at.size(), 11u);  // every character's start and the end
  EXPECT_EQ(at[1], 3u);
}

TEST(Regex, OptionalGroupThatDidNotTakePartIsAbsent) {
  const std::string subject = "b";
  auto m = Regex::literal("(a)?b").firstMatch(subject);
  ASSERT_TRUE(m.has_value());
  EXPECT_FALSE(m->group(subject, 1).has_value());
}

TEST(Regex, OptionsChangeMatching) {
  EXPECT_TRUE(Regex::literal("abc", {.caseInsensitive = true}).matches("xABCx"));
  EXPECT_FALSE(Regex::literal("a.b").matches("a\nb"));
  EXPECT_TRUE(Regex::literal("a.b", {.dotMatchesLineSeparators = true}).matches("a\nb"));
  EXPECT_EQ(Regex::literal("^x", {.multiline = true}).allMatches("x\nx\nyx").size(), 2u);
}

TEST(Regex, ReplaceAllUsesGroupReferences) {
  EXPECT_EQ(Regex::literal(R"((\w+)@(\w+))").replaceAll("联系 bob@corp 或 amy@home", "$2:$1"),
            "联系 corp:bob 或 home:amy");
  EXPECT_EQ(Regex::literal("x*").replaceAll("abc", "-"), "-a-b-c-");
}

TEST(Regex, InvalidUtf8SubjectNeverThrows) {
  const std::string bad =
      "abc\xFF"
      "def";
  EXPECT_TRUE(Regex::literal("def").matches(bad));
  EXPECT_EQ(Regex::literal("c.d").replaceAll(bad, "!"), "ab!ef");
}

TEST(Regex, CompileReportsBadPatterns) {
  auto bad = Regex::compile("(unclosed");
  ASSERT_FALSE(bad.has_value());
  EXPECT_FALSE(bad.error().empty());
}

}  // namespace
}  // namespace wrenfold::text
