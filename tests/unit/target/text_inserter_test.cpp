#include "core/target/text_inserter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/fake_accessibility.h"
#include "fakes/fake_key_events.h"
#include "fakes/fake_pasteboard.h"
#include "fakes/fake_workspace.h"
#include "fakes/manual_main_queue.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FakeAccessibility;
using testing::FakeAXValue;
using testing::FakePasteboard;
using testing::FakeWorkspace;

constexpr std::int32_t kPid = 77;
constexpr const char* kBundle = "org.example.editor";

std::vector<std::uint8_t> bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

class InserterTest : public ::testing::Test {
 protected:
  InserterTest() {
    workspace_.addApplication({kPid, kBundle, "Editor"}, true);
    field_ = ax_.addElement("AXTextField");
    ax_.set(field_, AXAttribute::value, std::string("Hello world"));
    ax_.set(field_, AXAttribute::selectedTextRange, TextRange{6, 5});
  }

  std::shared_ptr<const FocusedTarget> target(bool canWriteAX = true,
                                              std::optional<TextRange> range = TextRange{6, 5}) {
    auto t = std::make_shared<FocusedTarget>();
    t->processID = kPid;
    t->appBundleID = kBundle;
    t->appName = "Editor";
    t->focusedElement = field_;
    t->focusedRole = "AXTextField";
    t->selectedTextRange = range;
    t->canWriteAX = canWriteAX;
    return t;
  }

  std::optional<FakeAXValue> fieldValue(AXAttribute a) const { return ax_.get(field_, a); }

  FakeAccessibility ax_;
  FakeWorkspace workspace_;
  FakePasteboard pasteboard_;
  testing::FakeKeyEvents keys_;
  testing::ManualClock clock_;
  testing::ManualMainQueue queue_{clock_};
  TextInserter inserter_{ax_, workspace_, pasteboard_, keys_, queue_};
  AccessibilityElement field_ = ax_.addElement();
};

TEST_F(InserterTest, SelectedTextWritePlacesCaretAfterTextCountingUtf16Units) {
  pasteboard_.copyTextExternally("mine");
  EXPECT_EQ(inserter_.insert("there 😀", target()), InsertResult::inserted);
  EXPECT_EQ(fieldValue(AXAttribute::value), FakeAXValue(std::string("Hello there 😀")));
  ASSERT_FALSE(ax_.writes().empty());
  const auto& caret = ax_.writes().back();
  EXPECT_EQ(caret.attribute, AXAttribute::selectedTextRange);
  EXPECT_EQ(caret.value, FakeAXValue(TextRange{14, 0}));  // "there " is 6 units, the emoji 2
  EXPECT_EQ(pasteboard_.string(), "mine");
  EXPECT_TRUE(workspace_.activations().empty());
  EXPECT_EQ(queue_.pendingCount(), 0u);
}

TEST_F(InserterTest, RejectedSelectedTextFallsBackToReplacingTheRangeInTheValue) {
  ax_.rejectWrites(field_, AXAttribute::selectedText);
  ax_.set(field_, AXAttribute::value, std::string("😀 ab cd"));
  ax_.set(field_, AXAttribute::selectedTextRange, TextRange{3, 2});
  EXPECT_EQ(inserter_.insert("xyz", target()), InsertResult::inserted);
  EXPECT_EQ(fieldValue(AXAttribute::value), FakeAXValue(std::string("😀 xyz cd")));
  EXPECT_EQ(ax_.writes().back().value, FakeAXValue(TextRange{6, 0}));
  EXPECT_TRUE(workspace_.activations().empty());
}

TEST_F(InserterTest, UnusableRangesFallBackToPasting) {
  const struct {
    const char* name;
    std::optional<TextRange> current;
    std::optional<TextRange> stored;
  } rows[] = {
      {"stored range ends beyond the value", std::nullopt, TextRange{20, 0}},
      {"negative location", TextRange{-1, 0}, std::nullopt},
      {"no range at all", std::nullopt, std::nullopt},
      {"range splits a surrogate pair", TextRange{1, 0}, std::nullopt},
  };
  for (const auto& row : rows) {
    FakeAccessibility ax;
    FakeWorkspace workspace;
    workspace.addApplication({kPid, kBundle, "Editor"});
    FakePasteboard pasteboard;
    testing::ManualMainQueue queue(clock_);
    TextInserter inserter(ax, workspace, pasteboard, keys_, queue);
    field_ = ax.addElement("AXTextArea");
    ax.set(field_, AXAttribute::value, std::string("😀 short"));
    ax.rejectWrites(field_, AXAttribute::selectedText);
    if (row.current) {
      ax.set(field_, AXAttribute::selectedTextRange, *row.current);
    }
    EXPECT_EQ(inserter.insert("new", target(true, row.stored)), InsertResult::inserted) << row.name;
    EXPECT_EQ(ax.get(field_, AXAttribute::value), FakeAXValue(std::string("😀 short"))) << row.name;
    EXPECT_EQ(workspace.activations(), std::vector<std::int32_t>{kPid}) << row.name;
    EXPECT_EQ(pasteboard.string(), "new") << row.name;
  }
}

TEST_F(InserterTest, NotWritableTargetGoesStraightToPaste) {
  EXPECT_EQ(inserter_.insert("new", target(false)), InsertResult::inserted);
  EXPECT_EQ(fieldValue(AXAttribute::value), FakeAXValue(std::string("Hello world")));
  EXPECT_TRUE(ax_.writes().empty());
  EXPECT_EQ(pasteboard_.string(), "new");
  EXPECT_EQ(pasteboard_.lastHistory(), ClipboardHistory::skip);
}

TEST_F(InserterTest, PasteTimelineRestoresEveryItemAndTypeAt550ms) {
  const std::vector<PasteboardItem> original = {
      {{{std::string(FakePasteboard::kPlainTextType), bytes("styled")},
        {"text/html", bytes("<b>styled</b>")}}},
      {{{"image/png", bytes("\x89PNG\r\n")}, {"text/uri-list", bytes("file:///tmp/a.png")}}},
  };
  pasteboard_.copyExternally(original);
  ax_.set(field_, AXAttribute::selectedTextRange, TextRange{3, 0});

  EXPECT_EQ(inserter_.insert("candidate", target(false)), InsertResult::inserted);
  EXPECT_EQ(pasteboard_.contents(), std::vector{FakePasteboard::textItem("candidate")});

  queue_.advance(49ms);
  EXPECT_TRUE(keys_.posted().empty());
  queue_.advance(1ms);
  EXPECT_EQ(keys_.posted(), std::vector<std::string>{"ctrl+v"});
  ASSERT_EQ(ax_.writes().size(), 2u);
  EXPECT_EQ(ax_.writes()[0].attribute, AXAttribute::focused);
  EXPECT_EQ(ax_.writes()[1].value, FakeAXValue(TextRange{3, 0}));  // the selection read at insert time

  queue_.advance(499ms);
  EXPECT_EQ(pasteboard_.string(), "candidate");
  queue_.advance(1ms);
  EXPECT_EQ(pasteboard_.contents(), original);
  EXPECT_EQ(queue_.pendingCount(), 0u);
}

TEST_F(InserterTest, AHeldModifierDelaysThePasteChordAndTheRestoreFollowsIt) {
  pasteboard_.copyExternally({FakePasteboard::textItem("mine")});
  keys_.setResult(KeyPostResult::retry);
  EXPECT_EQ(inserter_.insert("candidate", target(false)), InsertResult::inserted);
  queue_.advance(50ms + 2 * TextInserter::kKeyRetryInterval);
  EXPECT_EQ(keys_.posted().size(), 3u) << "asked again while the modifier is held";
  keys_.setResult(KeyPostResult::posted);
  queue_.advance(TextInserter::kKeyRetryInterval);
  EXPECT_EQ(keys_.posted().size(), 4u);
  queue_.advance(TextInserter::kRestoreDelay - 1ms);
  EXPECT_EQ(pasteboard_.string(), "candidate") << "the target has not pasted yet";
  queue_.advance(1ms);
  EXPECT_EQ(pasteboard_.string(), "mine");
}

TEST_F(InserterTest, AChordNeverPostedLeavesTheCandidateOnTheClipboard) {
  for (const auto result : {KeyPostResult::retry, KeyPostResult::failed}) {
    pasteboard_.copyExternally({FakePasteboard::textItem("mine")});
    keys_.setResult(result);
    EXPECT_EQ(inserter_.insert("candidate", target(false)), InsertResult::inserted);
    queue_.advance(10s);
    EXPECT_EQ(pasteboard_.string(), "candidate") << "restoring would lose the text";
    EXPECT_EQ(queue_.pendingCount(), 0u);
  }
  EXPECT_EQ(keys_.posted().size(), static_cast<std::size_t>(TextInserter::kMaxKeyRetries + 2));
}

TEST_F(InserterTest, EmptyClipboardIsEmptyAgainAfterThePaste) {
  EXPECT_EQ(inserter_.insert("candidate", target(false)), InsertResult::inserted);
  queue_.advance(550ms);
  EXPECT_TRUE(pasteboard_.contents().empty());
}

TEST_F(InserterTest, NewerClipboardContentIsNotOverwrittenByTheRestore) {
  for (const bool countKnown : {true, false}) {
    FakePasteboard pasteboard;
    if (!countKnown) {
      pasteboard.hideChangeCount();
    }
    TextInserter inserter(ax_, workspace_, pasteboard, keys_, queue_);
    pasteboard.copyTextExternally("mine");
    EXPECT_EQ(inserter.insert("candidate", target(false)), InsertResult::inserted);
    queue_.advance(300ms);
    pasteboard.copyTextExternally("copied later");
    queue_.advance(300ms);
    EXPECT_EQ(pasteboard.string(), "copied later") << countKnown;
  }
}

TEST_F(InserterTest, SecondPasteBeforeTheRestoreKeepsTheUsersClipboard) {
  pasteboard_.copyTextExternally("mine");
  EXPECT_EQ(inserter_.insert("first", target(false)), InsertResult::inserted);
  queue_.advance(100ms);
  EXPECT_EQ(inserter_.insert("second", target(false)), InsertResult::inserted);
  queue_.advance(450ms);  // the first paste's restore time: the clipboard holds the second candidate
  EXPECT_EQ(pasteboard_.string(), "second");
  queue_.advance(100ms);
  EXPECT_EQ(pasteboard_.string(), "mine");
}

TEST_F(InserterTest, FailedActivationOrQuitApplicationOnlyCopies) {
  for (const bool quit : {false, true}) {
    FakeWorkspace workspace;
    if (!quit) {
      workspace.addApplication({kPid, kBundle, "Editor"});
      workspace.refuseActivation(kPid);
    }
    FakePasteboard pasteboard;
    TextInserter inserter(ax_, workspace, pasteboard, keys_, queue_);
    pasteboard.copyTextExternally("mine");
    EXPECT_EQ(inserter.insert("candidate", target(false)), InsertResult::copied) << quit;
    EXPECT_EQ(pasteboard.lastHistory(), ClipboardHistory::keep);
    queue_.advance(1000ms);
    EXPECT_TRUE(keys_.posted().empty());
    EXPECT_EQ(pasteboard.string(), "candidate");
  }
}

TEST_F(InserterTest, ActivatesTheTargetsOwnInstanceAmongSameIdentifier) {
  FakeWorkspace workspace;
  workspace.addApplication({10, "org.example.other", "Other"});
  workspace.addApplication({11, kBundle, "Editor"});
  workspace.addApplication({kPid, kBundle, "Editor"});
  TextInserter inserter(ax_, workspace, pasteboard_, keys_, queue_);
  EXPECT_EQ(inserter.insert("x", target(false)), InsertResult::inserted);
  EXPECT_EQ(workspace.activations(), std::vector<std::int32_t>{kPid});

  auto other = std::make_shared<FocusedTarget>(*target(false));
  other->processID = 5;  // an instance no longer running: the first with the id is used
  EXPECT_EQ(inserter.insert("x", other), InsertResult::inserted);
  EXPECT_EQ(workspace.activations().back(), 11);
}

}  // namespace
}  // namespace wrenfold
