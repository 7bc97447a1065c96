#include "core/records/generated_candidate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/cycle/assistant_state.h"

namespace wrenfold {
namespace {

const std::string kId = "0F8FAD5B-D9CB-469F-A165-70867728950E";

GeneratedCandidate candidate(std::string text, std::optional<std::string> title = std::nullopt) {
  return {*Uuid::parse(kId), std::move(text), std::move(title), 0.75};
}

TEST(GeneratedCandidate, EncodesKeysInOrderAndLeavesOutAMissingTitle) {
  EXPECT_EQ(json::dumpCompact(candidate("好", "短").toJson()),
            R"({"id":")" + kId + R"(","text":"好","title":"短","confidence":0.75})");
  EXPECT_EQ(json::dumpCompact(candidate("好").toJson()),
            R"({"id":")" + kId + R"(","text":"好","confidence":0.75})");
}

TEST(GeneratedCandidate, RoundTripsThroughBothJsonForms) {
  for (const auto& original : {candidate("a"), candidate("a", ""), candidate("a\nb", "t")}) {
    const std::string text = json::dumpCompact(original.toJson());
    EXPECT_EQ(GeneratedCandidate::fromJson(*json::parse(text)), original) << text;
    EXPECT_EQ(GeneratedCandidate::fromJson(*json::parseOrdered(text)), original) << text;
  }
  const auto lowerCaseNullTitle =
      json::parse(R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","text":"a","title":null,"confidence":1})");
  EXPECT_EQ(GeneratedCandidate::fromJson(*lowerCaseNullTitle),
            (GeneratedCandidate{*Uuid::parse(kId), "a", {}, 1.0}));
}

TEST(GeneratedCandidate, StrictDecodingFailures) {
  const std::vector<std::string> rows = {
      R"([])",
      R"({"text":"a","confidence":1})",
      R"({"id":"not-a-uuid","text":"a","confidence":1})",
      R"({"id":7,"text":"a","confidence":1})",
      R"({"id":")" + kId + R"(","confidence":1})",
      R"({"id":")" + kId + R"(","text":null,"confidence":1})",
      R"({"id":")" + kId + R"(","text":"a"})",
      R"({"id":")" + kId + R"(","text":"a","confidence":"1"})",
      R"({"id":")" + kId + R"(","text":"a","confidence":true})",
      R"({"id":")" + kId + R"(","text":"a","title":5,"confidence":1})",
  };
  for (const auto& row : rows) {
    const auto decoded = GeneratedCandidate::fromJson(*json::parse(row));
    ASSERT_FALSE(decoded.has_value()) << row;
    EXPECT_TRUE(decoded.error().localizedDescription().starts_with("JSON 解码失败：")) << row;
  }
}

TEST(AssistantState, ReadyStatesCompareCandidatesWithTheirIds) {
  const auto a = candidate("a");
  auto sameTextOtherId = a;
  sameTextOtherId.id = Uuid::random();
  const auto b = candidate("b");

  EXPECT_EQ(AssistantState::ready({a, b}), AssistantState::ready({a, b}));
  EXPECT_NE(AssistantState::ready({a}), AssistantState::ready({sameTextOtherId}));
  EXPECT_NE(AssistantState::ready({a, b}), AssistantState::ready({b, a}));
  EXPECT_NE(AssistantState::ready({a}), AssistantState::ready({a, a}));
  EXPECT_NE(AssistantState::ready({}), AssistantState::generating());
  EXPECT_EQ(AssistantState::failed("x"), AssistantState::failed("x"));
  EXPECT_NE(AssistantState::failed("x"), AssistantState::failed("y"));
  EXPECT_NE(AssistantState::failed(""), AssistantState::idle());
  EXPECT_EQ(AssistantState(), AssistantState::idle());
}

}  // namespace
}  // namespace wrenfold
