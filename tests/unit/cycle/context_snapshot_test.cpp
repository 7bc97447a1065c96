#include "core/context/context_snapshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wrenfold {
namespace {

ContextSnapshot full() {
  return {ContextSource::clipboardFallback,
          "Mail",
          "org.example.mail",
          "收件箱",
          "正文",
          "窗口文字",
          "选中",
          "附近",
          0.5,
          {"警告一", "警告二"}};
}

ContextSnapshot minimal() {
  ContextSnapshot s;
  s.source = ContextSource::manual;
  s.appName = "Mail";
  s.confidence = 1;
  return s;
}

TEST(ContextSource, RawValuesRoundTripAndOthersAreRefused) {
  for (const ContextSource source : kAllContextSources) {
    EXPECT_EQ(contextSourceFromRawValue(rawValue(source)), source);
  }
  EXPECT_EQ(rawValue(ContextSource::clipboardFallback), "clipboardFallback");
  for (const char* other : {"", "Accessibility", "selected_text", "clipboard"}) {
    EXPECT_FALSE(contextSourceFromRawValue(other).has_value()) << other;
  }
}

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
    ContextSnapshot s = minimal();
    s.selectedText = row.selected;
    s.focusedText = row.focused;
    s.nearbyText = row.nearby;
    s.visibleText = row.visible;
    EXPECT_EQ(s.bestText(), row.expected) << row.expected;
  }
}

TEST(ContextSnapshot, EncodesExactlyTheFieldsInOrder) {
  EXPECT_EQ(json::dumpCompact(full().toJson()),
            R"({"source":"clipboardFallback","appName":"Mail","appBundleID":"org.example.mail",)"
            R"("windowTitle":"收件箱","focusedText":"正文","visibleText":"窗口文字","selectedText":"选中",)"
            R"("nearbyText":"附近","confidence":0.5,"warnings":["警告一","警告二"]})");
  EXPECT_EQ(
      json::dumpCompact(minimal().toJson()),
      R"({"source":"manual","appName":"Mail","appBundleID":"","visibleText":"","confidence":1.0,"warnings":[]})");
}

TEST(ContextSnapshot, RoundTripsAndAcceptsMissingOrNullOptionals) {
  for (const auto& original : {full(), minimal()}) {
    const std::string text = json::dumpCompact(original.toJson());
    EXPECT_EQ(ContextSnapshot::fromJson(*json::parse(text)), original) << text;
    EXPECT_EQ(ContextSnapshot::fromJson(*json::parseOrdered(text)), original) << text;
  }
  const auto withNulls = json::parse(
      R"({"source":"manual","appName":"Mail","appBundleID":"","windowTitle":null,"visibleText":"",)"
      R"("selectedText":null,"confidence":1,"warnings":[],"extra":true})");
  EXPECT_EQ(ContextSnapshot::fromJson(*withNulls), minimal());
}

TEST(ContextSnapshot, StrictDecodingFailures) {
  struct Row {
    const char* key;
    std::optional<json::Json> value;  // absent: the key is removed
  };
  const std::vector<Row> rows = {
      {"source", "screen"},
      {"source", json::Json()},
      {"appName", std::nullopt},
      {"appBundleID", 3},
      {"visibleText", std::nullopt},
      {"confidence", "0.5"},
      {"warnings", std::nullopt},
      {"warnings", json::Json::array({"a", 1})},
      {"windowTitle", 1},
      {"focusedText", false},
      {"selectedText", 2.5},
      {"nearbyText", json::Json::array({"x"})},
  };
  for (const auto& row : rows) {
    json::Json object = json::parse(json::dumpCompact(full().toJson())).value();
    if (row.value) {
      object[row.key] = *row.value;
    } else {
      object.erase(row.key);
    }
    EXPECT_FALSE(ContextSnapshot::fromJson(object).has_value()) << object.dump();
  }
  EXPECT_FALSE(ContextSnapshot::fromJson(json::Json::array()).has_value());
}

}  // namespace
}  // namespace wrenfold
