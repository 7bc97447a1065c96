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
