#include "core/overlay/overlay_view_model.h"

#include <gtest/gtest.h>

#include "core/templates/built_in_templates.h"

namespace wrenfold {
namespace {

struct GenerateCall {
  std::string templateID;
  std::string instruction;
  std::string manualContext;
};

class OverlayViewModelTest : public ::testing::Test {
 protected:
  OverlayViewModelTest() {
    model.setTemplates(BuiltInTemplates::all());
    model.onGenerate = [this](const std::string& t, const std::string& i, const std::string& m) {
      calls.push_back({t, i, m});
    };
  }

  std::vector<GeneratedCandidate> three() {
    return {{Uuid::random(), "a", std::nullopt, 0.9},
            {Uuid::random(), "b", std::nullopt, 0.8},
            {Uuid::random(), "c", std::nullopt, 0.7}};
  }

  void showReady(std::vector<GeneratedCandidate> candidates, std::optional<Uuid> selected) {
    model.setCandidates(candidates);
    model.setSelectedCandidateID(selected);
    model.setPhase(OverlayPhase::ready(std::move(candidates)));
  }

  const PromptTemplate& templateNamed(std::string_view id) {
    for (const auto& t : model.templates()) {
      if (t.id == id) {
        return t;
      }
    }
    throw std::logic_error("no such template");
  }

  OverlayViewModel model;
  std::vector<GenerateCall> calls;
};

TEST_F(OverlayViewModelTest, TemplateChangeRegeneratesOnlyOnceResultsAreShown) {
  auto candidates = three();
  showReady(candidates, candidates[1].id);
  model.selectTemplate(templateNamed("reply.quick"));  // already selected
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(model.candidates().size(), 3u);

  model.setInstruction("更正式");
  model.setManualContext("补充");
  model.selectTemplate(templateNamed("rewrite.polish"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].templateID, "rewrite.polish");
  EXPECT_EQ(calls[0].instruction, "更正式");
  EXPECT_EQ(calls[0].manualContext, "补充");
  EXPECT_EQ(model.phase(), OverlayPhase::generating());
  EXPECT_TRUE(model.candidates().empty());
  EXPECT_FALSE(model.selectedCandidateID().has_value());

  // While generating, only the selection changes.
  model.selectTemplate(templateNamed("translate.en"));
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(model.selectedTemplateID(), "translate.en");
}

TEST_F(OverlayViewModelTest, RegenerateIsRefusedWhenItCannotRun) {
  model.setPhase(OverlayPhase::reading());
  model.regenerate();
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(model.canGenerate());

  model.setPhase(OverlayPhase::error("x"));
  model.setTemplates({});
  EXPECT_FALSE(model.canGenerate());
  model.regenerate();
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(model.phase(), OverlayPhase::error("x"));

  model.setTemplates(BuiltInTemplates::all());
  model.onGenerate = nullptr;
  model.regenerate();
  EXPECT_EQ(model.phase(), OverlayPhase::error("x"));
}

TEST_F(OverlayViewModelTest, SelectionMovesWrapAndStaleSelectionFallsBackToTheFirst) {
  auto c = three();
  showReady(c, c[2].id);
  EXPECT_TRUE(model.moveCandidateSelection(1));
  EXPECT_EQ(model.selectedCandidateID(), c[0].id);

  showReady(c, std::nullopt);
  EXPECT_TRUE(model.moveCandidateSelection(-1));
  EXPECT_EQ(model.selectedCandidateID(), c[2].id);
  showReady(c, std::nullopt);
  EXPECT_TRUE(model.moveCandidateSelection(1));
  EXPECT_EQ(model.selectedCandidateID(), c[0].id);

  showReady(c, Uuid::random());  // stale
  EXPECT_EQ(model.selectedCandidate()->id, c[0].id);

  EXPECT_FALSE(model.chooseCandidate(3));
  EXPECT_FALSE(model.chooseCandidate(-1));
  EXPECT_TRUE(model.chooseCandidate(1));
  EXPECT_EQ(model.selectedCandidate()->text, "b");
  EXPECT_FALSE(model.moveCandidateSelection(0));

  model.setPhase(OverlayPhase::generating());
  EXPECT_FALSE(model.selectedCandidate().has_value());
  EXPECT_FALSE(model.chooseCandidate(0));
  EXPECT_FALSE(model.moveCandidateSelection(1));
}

TEST_F(OverlayViewModelTest, ListenersHearEachChangeButNotANoOp) {
  int heard = 0;
  const auto token = model.addListener([&] { ++heard; });
  model.setInstruction("x");
  model.setInstruction("x");
  EXPECT_EQ(heard, 1);
  model.removeListener(token);
  model.setInstruction("y");
  EXPECT_EQ(heard, 1);
}

}  // namespace
}  // namespace wrenfold
