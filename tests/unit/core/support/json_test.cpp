#include "core/support/json.h"

#include <gtest/gtest.h>

namespace wrenfold {
namespace {

template <class J>
class StrictReaders : public ::testing::Test {
 protected:
  static J object(std::string_view text) { return J::parse(text); }
};
using JsonKinds = ::testing::Types<json::Json, json::OrderedJson>;
TYPED_TEST_SUITE(StrictReaders, JsonKinds);

std::string describe(const Failure& failure) {
  return failure.localizedDescription();
}

TYPED_TEST(StrictReaders, IntegersAcceptOnlyExactNumbers) {
  struct Row {
    const char* document;
    std::optional<std::int64_t> expected;  // nullopt: a decoding failure
  };
  const Row rows[] = {
      {R"({"n": 3})", 3},
      {R"({"n": 3.0})", 3},
      {R"({"n": -9223372036854775808})", INT64_MIN},
      {R"({"n": 3.5})", std::nullopt},
      {R"({"n": "3"})", std::nullopt},
      {R"({"n": true})", std::nullopt},
      {R"({"n": null})", std::nullopt},
      {R"({})", std::nullopt},
      {R"({"n": 1e19})", std::nullopt},
      {R"({"n": 18446744073709551615})", std::nullopt},
      {R"([3])", std::nullopt},
  };
  for (const Row& row : rows) {
    const auto result = json::requireInteger(this->object(row.document), "n");
    if (row.expected) {
      EXPECT_EQ(result.value(), *row.expected) << row.document;
    } else {
      ASSERT_FALSE(result) << row.document;
      EXPECT_TRUE(describe(result.error()).starts_with("JSON 解码失败：")) << row.document;
    }
  }
}

TYPED_TEST(StrictReaders, MissingNullAndWrongTypeAreDistinctFailures) {
  const auto doc = this->object(R"({"s": "x", "nul": null, "num": 2, "arr": ["a", 1], "b": false})");
  EXPECT_EQ(json::requireString(doc, "s").value(), "x");
  EXPECT_EQ(describe(json::requireString(doc, "absent").error()), "JSON 解码失败：\"absent\" 缺失");
  EXPECT_EQ(describe(json::requireString(doc, "nul").error()), "JSON 解码失败：\"nul\" 为 null");
  EXPECT_EQ(describe(json::requireString(doc, "num").error()), "JSON 解码失败：\"num\" 类型错误，应为字符串");
  EXPECT_FALSE(json::requireBool(doc, "num"));
  EXPECT_FALSE(json::requireNumber(doc, "s"));
  EXPECT_EQ(describe(json::requireStringArray(doc, "arr").error()),
            "JSON 解码失败：\"arr\" 的第 2 项不是字符串");
  EXPECT_EQ(json::requireBool(doc, "b").value(), false);
}

TYPED_TEST(StrictReaders, OptionalReadersTreatMissingAndNullAsAbsentButNotWrongTypes) {
  const auto doc = this->object(R"({"nul": null, "half": 0.5, "whole": 2.0, "s": "t"})");
  EXPECT_EQ(json::optionalString(doc, "missing").value(), std::nullopt);
  EXPECT_EQ(json::optionalString(doc, "nul").value(), std::nullopt);
  EXPECT_EQ(json::optionalString(doc, "s").value(), "t");
  EXPECT_FALSE(json::optionalString(doc, "half"));
  EXPECT_EQ(json::optionalNumber(doc, "half").value(), 0.5);
  EXPECT_FALSE(json::optionalNumber(doc, "s"));
  EXPECT_EQ(json::optionalInteger(doc, "whole").value(), 2);
  EXPECT_EQ(json::optionalInteger(doc, "nul").value(), std::nullopt);
  EXPECT_FALSE(json::optionalInteger(doc, "half"));
}

TEST(JsonParse, MalformedInputIsAFailureNamingThePositionWithoutQuotingIt) {
  const auto result = json::parse(R"({"apiKey": "sk-secret", oops})");
  ASSERT_FALSE(result);
  const std::string text = describe(result.error());
  EXPECT_TRUE(text.starts_with("JSON 解析失败：第 25 字节处")) << text;
  EXPECT_EQ(text.find("sk-secret"), std::string::npos) << text;
  EXPECT_FALSE(json::parseOrdered(""));
  EXPECT_FALSE(json::parse("\"\xff\""));
}

TEST(JsonParse, HostileNestingIsRefusedNotACrash) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  ASSERT_FALSE(json::parse(deep));
  const auto nested = [](std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  EXPECT_TRUE(json::parse(nested(512)));
  EXPECT_FALSE(json::parse(nested(513)));
  EXPECT_TRUE(json::parse(R"({"text": ")" + std::string(1000, '[') + R"("})"));  // brackets inside text
}

TEST(JsonDump, CompactPrettyAndInvalidUtf8) {
  json::Json value = {{"b", 1}, {"a", "x"}};
  EXPECT_EQ(json::dumpCompact(value), R"({"a":"x","b":1})");
  EXPECT_EQ(json::dumpPretty(value), "{\n  \"a\": \"x\",\n  \"b\": 1\n}");
  json::OrderedJson ordered = {{"b", 1}, {"a", "\xff"}};
  EXPECT_EQ(json::dumpCompact(ordered), "{\"b\":1,\"a\":\"\xEF\xBF\xBD\"}");
}

}  // namespace
}  // namespace wrenfold
