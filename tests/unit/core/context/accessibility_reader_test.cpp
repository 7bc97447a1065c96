#include "core/context/accessibility_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/text/text.h"
#include "fakes/fake_accessibility.h"
#include "fakes/manual_clock.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FakeAccessibility;

std::string repeated(std::string_view unit, std::size_t times) {
  std::string s;
  for (std::size_t i = 0; i < times; ++i) {
    s += unit;
  }
  return s;
}

class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() {
    window_ = ax_.addElement("AXWindow");
    field_ = ax_.addChild(window_, "AXTextField");
    ax_.set(field_, AXAttribute::window, window_);
  }

  // A target focused on the field, with or without a known input frame.
  FocusedTarget target(bool withFrame = true) const {
    FocusedTarget t;
    t.appName = "Editor";
    t.appBundleID = "org.example.editor";
    t.windowTitle = "Draft";
    t.focusedElement = field_;
    if (withFrame) {
      t.inputFrame = Rect{10, 10, 200, 20};
    }
    return t;
  }

  std::string visible(const AccessibilityReader& reader) const {
    const auto snapshot = reader.read(target());
    return snapshot ? snapshot->visibleText : "<failed>";
  }
  std::string visible() const { return visible(reader_); }

  FakeAccessibility ax_;
  testing::ManualClock clock_;
  AccessibilityReader reader_{ax_, clock_};
  AccessibilityElement window_ = ax_.addElement();
  AccessibilityElement field_ = window_;
};

TEST_F(ReaderTest, NoFocusedElementIsContextUnavailable) {
  auto t = target();
  t.focusedElement.reset();
  const auto result = reader_.read(t);
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().is(AssistantError::Kind::contextUnavailable));
}

TEST_F(ReaderTest, GradesBySelectionThenWindowTextAndFrame) {
  struct Row {
    const char* name;
    std::optional<std::string> selection;
    const char* windowText;
    bool frame;
    ContextSource source;
    double confidence;
    std::vector<std::string> warnings;
  };
  const Row rows[] = {
      {"blank selection still counts", " ", "", true, ContextSource::selectedText, 0.92, {}},
      {"text and frame", std::nullopt, "Some visible text", true, ContextSource::accessibility, 0.76, {}},
      {"empty selection is no selection",
       "",
       "Some visible text",
       true,
       ContextSource::accessibility,
       0.76,
       {}},
      {"text without frame",
       std::nullopt,
       "Some visible text",
       false,
       ContextSource::accessibility,
       0.55,
       {"读取到窗口文本，但无法确认与输入框的空间关系。"}},
      {"nothing",
       std::nullopt,
       "",
       true,
       ContextSource::accessibility,
       0.2,
       {"Accessibility 未读取到足够文本。"}},
  };
  for (const auto& row : rows) {
    FakeAccessibility ax;
    const auto window = ax.addElement("AXWindow");
    const auto field = ax.addChild(window, "AXTextArea");
    ax.set(field, AXAttribute::window, window);
    if (row.selection) {
      ax.set(field, AXAttribute::selectedText, *row.selection);
    }
    if (*row.windowText != '\0') {
      ax.addChild(window, "AXStaticText", row.windowText);
    }
    auto t = target(row.frame);
    t.focusedElement = field;
    const auto snapshot = AccessibilityReader(ax, clock_).read(t);
    ASSERT_TRUE(snapshot) << row.name;
    EXPECT_EQ(snapshot->source, row.source) << row.name;
    EXPECT_EQ(snapshot->confidence, row.confidence) << row.name;
    EXPECT_EQ(snapshot->warnings, row.warnings) << row.name;
    EXPECT_EQ(snapshot->visibleText, row.windowText) << row.name;
    EXPECT_EQ(snapshot->nearbyText, snapshot->visibleText) << row.name;
    EXPECT_EQ(snapshot->selectedText, row.selection) << row.name;
    EXPECT_EQ(snapshot->appName, "Editor");
    EXPECT_EQ(snapshot->windowTitle, "Draft");
  }
}

TEST_F(ReaderTest, ShortTextsAndNoiseWordsAreDroppedAndAloneGradeAsNotEnoughText) {
  ax_.addChild(window_, "AXStaticText", "close");
  ax_.addChild(window_, "AXStaticText", "minimize");
  const auto snapshot = reader_.read(target());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->confidence, 0.2);
  EXPECT_EQ(snapshot->visibleText, "");
  for (const char* text : {"x", "MENU", "  Button\n", "Close the door, please", "ab"}) {
    ax_.addChild(window_, "AXStaticText", text);
  }
  EXPECT_EQ(visible(), "Close the door, please\nab");
}

TEST_F(ReaderTest, TextUnderToolbarsAndMenusIsNeverCollectedButUnderRoleLessElementsIs) {
  for (const char* pruned : {"AXToolbar", "AXMenu", "AXMenuBar"}) {
    const auto bar = ax_.addChild(window_, pruned);
    const auto group = ax_.addChild(bar, "AXGroup");
    ax_.addChild(group, "AXStaticText", std::string("inside ") + pruned);
  }
  ax_.addChild(ax_.addChild(window_, ""), "AXParagraph", "under a role-less group");
  ax_.addChild(window_, "AXHeading", "Heading after");
  EXPECT_EQ(visible(), "under a role-less group\nHeading after");
}

TEST_F(ReaderTest, TheFiveHundredFirstElementIsNotRead) {
  // The window is the first element and the focused field the second.
  for (int i = 3; i <= 501; ++i) {
    ax_.addChild(window_, "AXStaticText", "element " + std::to_string(i));
  }
  const std::string text = visible();
  EXPECT_NE(text.find("element 500"), std::string::npos);
  EXPECT_EQ(text.find("element 501"), std::string::npos);
}

// A word processor's page lies past hundreds of toolbar and sidebar elements.
TEST_F(ReaderTest, AFieldPastTheElementLimitStillGivesItsOwnTextFirst) {
  AccessibilityReader reader(ax_, clock_);
  const auto page = ax_.addElement("AXWindow");
  for (int i = 1; i <= 600; ++i) {
    ax_.addChild(page, "AXStaticText", "sidebar " + std::to_string(i));
  }
  const auto paragraph = ax_.addChild(page, "AXParagraph", "明天的发布会改到几点？");
  ax_.set(paragraph, AXAttribute::window, page);
  auto onPage = target();
  onPage.focusedElement = paragraph;
  const auto snapshot = reader.read(onPage);
  ASSERT_TRUE(snapshot);
  EXPECT_TRUE(snapshot->visibleText.starts_with("明天的发布会改到几点？\nsidebar 1\n"))
      << snapshot->visibleText;
  EXPECT_DOUBLE_EQ(snapshot->confidence, 0.76);

  // Met within the limit, the field's text stays where the walk found it, once.
  EXPECT_EQ(visible(), "");
  ax_.set(field_, AXAttribute::value, std::string("草稿"));
  EXPECT_EQ(visible(), "草稿");
}

TEST_F(ReaderTest, ElementsDeeperThanElevenAreNotRead) {
  auto parent = window_;
  for (int depth = 1; depth <= 12; ++depth) {
    ax_.addChild(parent, "AXStaticText", "depth " + std::to_string(depth));
    parent = ax_.addChild(parent, "AXGroup");
  }
  const std::string text = visible();
  EXPECT_NE(text.find("depth 11"), std::string::npos);
  EXPECT_EQ(text.find("depth 12"), std::string::npos);
}

TEST_F(ReaderTest, AdjacentDuplicateLinesCollapseAfterTrimming) {
  for (const char* text : {"same", "  same\n", "other", "same"}) {
    ax_.addChild(window_, "AXStaticText", text);
  }
  EXPECT_EQ(visible(), "same\nother\nsame");
}

TEST_F(ReaderTest, NineThousandCharactersAreCutToTheFirstEightThousand) {
  std::string all;
  const char* units[] = {"一", "二", "三", "四", "五", "六", "七", "八", "九"};
  for (std::size_t i = 0; i < 9; ++i) {
    const std::string line = repeated(units[i], i == 8 ? 1000 : 999);
    ax_.addChild(window_, "AXStaticText", line);
    all += (all.empty() ? "" : "\n") + line;
  }
  ASSERT_EQ(text::graphemeCount(all), 9000u);
  const auto snapshot = reader_.read(target());
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->visibleText, text::graphemePrefix(all, 8000));
  EXPECT_EQ(snapshot->nearbyText, snapshot->visibleText);
}

TEST_F(ReaderTest, WalkStopsSoonAfterEnoughText) {
  ax_.addChild(window_, "AXStaticText", repeated("x", 8001));
  ax_.addChild(window_, "AXStaticText", "never reached");
  EXPECT_EQ(visible().find("never reached"), std::string::npos);
}

TEST_F(ReaderTest, FocusedWindowIsItsOwnRootAndMissingWindowFallsBackToTheElement) {
  ax_.addChild(window_, "AXStaticText", "window text");
  auto t = target();
  t.focusedElement = window_;
  EXPECT_EQ(reader_.read(t)->visibleText, "window text");

  ax_.unset(field_, AXAttribute::window);
  ax_.set(field_, AXAttribute::value, std::string("field text"));
  EXPECT_EQ(visible(), "field text");
}

TEST_F(ReaderTest, FocusedTextTakesTheFirstNonBlankTextAttributeUntrimmedAndCut) {
  ax_.set(field_, AXAttribute::value, std::string("   "));
  ax_.set(field_, AXAttribute::title, true);  // mistyped: absent
  ax_.set(field_, AXAttribute::description, std::string(" described "));
  ax_.set(field_, AXAttribute::help, std::string("help"));
  EXPECT_EQ(reader_.read(target())->focusedText, " described ");

  ax_.set(field_, AXAttribute::value, repeated("é", 2001));
  ax_.set(field_, AXAttribute::selectedText, repeated("👍🏽", 2001));
  const auto snapshot = reader_.read(target());
  EXPECT_EQ(snapshot->focusedText, repeated("é", 2000));
  EXPECT_EQ(snapshot->selectedText, repeated("👍🏽", 2000));
}

TEST_F(ReaderTest, RunningLengthStopsExactlyWhereRejoiningDoes) {
  // Lines ending in a carriage return merge with the joining line feed into one character,
  // and combining marks and emoji make bytes and characters differ.
  const std::vector<std::string> shapes = {"ab\r", "e\u0301e\u0301", "👍🏽 ok", "line\r", "字字字"};
  for (std::size_t limit = 30; limit <= 90; ++limit) {
    FakeAccessibility ax;
    const auto window = ax.addElement("AXWindow");
    for (int i = 0; i < 60; ++i) {
      const auto group = ax.addChild(window, "AXGroup");
      ax.addChild(group, "AXStaticText",
                  std::to_string(i % 3) + shapes[static_cast<std::size_t>(i) % shapes.size()]);
    }
    AccessibilityReader::Options running;
    running.maxTextLength = limit;
    auto rejoin = running;
    rejoin.lengthCheck = AccessibilityReader::LengthCheck::rejoin;
    const std::string fast = AccessibilityReader(ax, clock_, running).collectVisibleText(window);
    const auto fastReads = ax.readCount();
    const std::string naive = AccessibilityReader(ax, clock_, rejoin).collectVisibleText(window);
    EXPECT_EQ(fast, naive) << limit;
    EXPECT_EQ(fastReads, ax.readCount() - fastReads) << limit;
  }
}

TEST_F(ReaderTest, SlowApplicationStopsTheWalkAtTheTimeBudget) {
  for (int i = 0; i < 300; ++i) {
    ax_.addChild(window_, "AXStaticText", "row " + std::to_string(i));
  }
  ax_.onRead([this] { clock_.advance(5ms); });
  const std::string text = visible();
  EXPECT_NE(text.find("row 0"), std::string::npos);
  EXPECT_EQ(text.find("row 299"), std::string::npos);
  EXPECT_LE(clock_.elapsed(), 1600ms);
}

// The walk's result is kept while the back-end reports no change; the label is altered behind
// its back to tell a reused result from a fresh one.
TEST_F(ReaderTest, WindowTextIsReusedOnlyWhileNothingChanged) {
  const auto label = ax_.addChild(window_, "AXStaticText");
  ax_.set(field_, AXAttribute::value, "请回复张总（today）");
  std::uint64_t fresh = 0;
  const auto reusedAfter = [&](auto change) {
    ax_.set(label, AXAttribute::value, "会议纪要：Q3预算已批准。");
    ax_.stamp = fresh += 2;  // never one a change below gave
    static_cast<void>(visible());
    ax_.set(label, AXAttribute::value, "会议纪要：预算被否决！");
    change();
    return visible().find("否决") == std::string::npos;
  };
  EXPECT_TRUE(reusedAfter([] {}));
  EXPECT_FALSE(reusedAfter([&] { ++*ax_.stamp; }));
  EXPECT_FALSE(reusedAfter([&] { ax_.set(field_, AXAttribute::value, "请回复李总，谢谢。"); }));
  EXPECT_FALSE(reusedAfter([&] { ax_.stamp.reset(); }));
  ax_.onRead([this] { clock_.advance(400ms); });  // a slow program's partial walk is not kept
  EXPECT_FALSE(reusedAfter([&] { ax_.onRead({}); }));
}

}  // namespace
}  // namespace wrenfold
