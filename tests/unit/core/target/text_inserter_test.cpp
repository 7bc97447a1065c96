#include "core/target/text_inserter.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "fakes/fake_accessibility.h"
#include "fakes/fake_input_method.h"
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

  // Inserts with `inserter`; the outcome lands in `outcome_` whenever the inserter is done.
  void insert(TextInserter& inserter, std::string_view text, std::shared_ptr<const FocusedTarget> t) {
    outcome_.reset();
    inserter.insert(text, t, [this](InsertOutcome outcome) { outcome_ = std::move(outcome); });
  }
  void insert(std::string_view text, std::shared_ptr<const FocusedTarget> t) { insert(inserter_, text, t); }
  [[nodiscard]] std::optional<InsertResult> result() const {
    return outcome_ ? std::optional(outcome_->result) : std::nullopt;
  }

  // The target program pasting: the clipboard's text goes into the field, as Ctrl+V would.
  void pasteLands(FakeAccessibility& ax, Pasteboard& pasteboard) {
    keys_.setOnPosted([&ax, &pasteboard, field = field_](const KeyChord&) {
      const auto value = ax.get(field, AXAttribute::value);
      const std::string before = value ? std::get<std::string>(*value) : "";
      ax.set(field, AXAttribute::value, before + pasteboard.string().value_or(""));
    });
  }

  FakeAccessibility ax_;
  FakeWorkspace workspace_;
  FakePasteboard pasteboard_;
  testing::FakeKeyEvents keys_;
  testing::ManualClock clock_;
  testing::ManualMainQueue queue_{clock_};
  TextInserter inserter_{ax_, workspace_, pasteboard_, keys_, queue_};
  AccessibilityElement field_ = ax_.addElement();
  std::optional<InsertOutcome> outcome_;
};

TEST_F(InserterTest, SelectedTextWritePlacesCaretAfterTextCountingUtf16Units) {
  pasteboard_.copyTextExternally("mine");
  insert("there 😀", target());
  ASSERT_TRUE(outcome_);
  EXPECT_EQ(outcome_->result, InsertResult::inserted);
  EXPECT_EQ(outcome_->attempts, (std::vector<InsertAttempt>{{"accessibility", "written"}}));
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
  insert("xyz", target());
  EXPECT_EQ(result(), InsertResult::inserted);
  EXPECT_EQ(fieldValue(AXAttribute::value), FakeAXValue(std::string("😀 xyz cd")));
  EXPECT_EQ(ax_.writes().back().value, FakeAXValue(TextRange{6, 0}));
  EXPECT_TRUE(workspace_.activations().empty());
}

// A write the program answers only after the deadline may still land: the field is read back,
// and whatever comes of it nothing else is written or pasted, so the text is never there twice.
TEST_F(InserterTest, AnUnansweredWriteIsReadBackAndNeverFollowedByAPaste) {
  const std::string candidate = "明天下午3点，OK。";
  const std::pair<std::optional<std::chrono::milliseconds>, InsertResult> rows[] = {
      {1500ms, InsertResult::inserted}, {2500ms, InsertResult::copied}, {std::nullopt, InsertResult::copied}};
  for (const auto& [landsAfter, expected] : rows) {
    FakeAccessibility ax;
    TextInserter inserter(ax, workspace_, pasteboard_, keys_, queue_);
    field_ = ax.addElement("AXTextArea");
    ax.set(field_, AXAttribute::value, std::string("会议纪要："));
    ax.timeOutWrites(field_, AXAttribute::selectedText);
    pasteboard_.copyTextExternally("mine");
    insert(inserter, candidate, target(true, TextRange{5, 0}));
    if (landsAfter) {
      queue_.postAfter(*landsAfter, [&] { ax.set(field_, AXAttribute::value, "会议纪要：" + candidate); });
    }
    queue_.advance(10s);
    ASSERT_TRUE(outcome_);
    EXPECT_EQ(outcome_->result, expected) << landsAfter.value_or(0ms).count();
    EXPECT_EQ(outcome_->attempts.front(), (InsertAttempt{"accessibility", "timed out"}));
    EXPECT_TRUE(ax.writes().size() == 1 && keys_.posted().empty() && workspace_.activations().empty())
        << "no second write, no paste";
    EXPECT_EQ(pasteboard_.string(), expected == InsertResult::copied ? candidate : "mine");
  }
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
    TextInserter inserter(ax, workspace_, pasteboard_, keys_, queue_);
    field_ = ax.addElement("AXTextArea");
    ax.set(field_, AXAttribute::value, std::string("😀 short"));
    ax.rejectWrites(field_, AXAttribute::selectedText);
    if (row.current) {
      ax.set(field_, AXAttribute::selectedTextRange, *row.current);
    }
    insert(inserter, "new", target(true, row.stored));
    EXPECT_EQ(ax.get(field_, AXAttribute::value), FakeAXValue(std::string("😀 short"))) << row.name;
    EXPECT_EQ(workspace_.activations().back(), kPid) << row.name;
    EXPECT_EQ(pasteboard_.string(), "new") << row.name;
    ASSERT_FALSE(outcome_) << "a paste is confirmed later: " << row.name;
    queue_.advance(10s);
    ASSERT_TRUE(outcome_) << row.name;
    EXPECT_EQ(outcome_->attempts.front(), (InsertAttempt{"accessibility", "refused"})) << row.name;
  }
}

TEST_F(InserterTest, PasteIsConfirmedByReadingTheFieldThenTheClipboardIsGivenBack) {
  const std::vector<PasteboardItem> original = {
      {{{std::string(FakePasteboard::kPlainTextType), bytes("styled")},
        {"text/html", bytes("<b>styled</b>")}}},
      {{{"image/png", bytes("\x89PNG\r\n")}, {"text/uri-list", bytes("file:///tmp/a.png")}}},
  };
  pasteboard_.copyExternally(original);
  ax_.set(field_, AXAttribute::selectedTextRange, TextRange{3, 0});
  pasteLands(ax_, pasteboard_);

  insert("candidate", target(false));
  EXPECT_EQ(pasteboard_.contents(), std::vector{FakePasteboard::textItem("candidate")});
  EXPECT_EQ(pasteboard_.lastHistory(), ClipboardHistory::skip);
  queue_.advance(49ms);
  EXPECT_TRUE(keys_.posted().empty());
  queue_.advance(1ms);
  EXPECT_EQ(keys_.posted(), std::vector<std::string>{"ctrl+v"});
  ASSERT_EQ(ax_.writes().size(), 2u);
  EXPECT_EQ(ax_.writes()[0].attribute, AXAttribute::focused);
  EXPECT_EQ(ax_.writes()[1].value, FakeAXValue(TextRange{3, 0}));  // the selection read at insert time
  EXPECT_FALSE(outcome_);

  queue_.advance(TextInserter::kConfirmPoll);
  ASSERT_TRUE(outcome_);
  EXPECT_EQ(outcome_->result, InsertResult::inserted);
  EXPECT_EQ(outcome_->attempts, (std::vector<InsertAttempt>{{"paste", "confirmed"}}));
  EXPECT_EQ(pasteboard_.contents(), original);
  EXPECT_EQ(queue_.pendingCount(), 0u);
}

TEST_F(InserterTest, APasteNotKnownToHaveLandedLeavesTheCandidateOnTheClipboard) {
  const struct {
    const char* name;
    bool readable;
    bool activates;
    KeyPostResult key;
    InsertResult result;
    const char* outcome;
  } rows[] = {
      {"field shows nothing new", true, true, KeyPostResult::posted, InsertResult::copied, "not seen"},
      {"window never becomes active", true, false, KeyPostResult::posted, InsertResult::copied,
       "window not activated"},
      {"keystroke fails", true, true, KeyPostResult::failed, InsertResult::copied, "keystroke not posted"},
      {"modifier held throughout", true, true, KeyPostResult::retry, InsertResult::copied,
       "keystroke not posted"},
  };
  for (const auto& row : rows) {
    FakeWorkspace workspace;
    workspace.addApplication({kPid, kBundle, "Editor"});
    if (!row.activates) {
      workspace.ignoreActivation();
    }
    FakePasteboard pasteboard;
    TextInserter inserter(ax_, workspace, pasteboard, keys_, queue_);
    keys_.setResult(row.key);
    pasteboard.copyTextExternally("mine");
    auto t = std::make_shared<FocusedTarget>(*target(false));
    if (!row.readable) {
      t->focusedElement.reset();
    }
    const auto postedBefore = keys_.posted().size();
    insert(inserter, "candidate", t);
    queue_.advance(10s);
    ASSERT_TRUE(outcome_) << row.name;
    EXPECT_EQ(outcome_->result, row.result) << row.name;
    EXPECT_EQ(outcome_->attempts, (std::vector<InsertAttempt>{{"paste", row.outcome}})) << row.name;
    EXPECT_EQ(pasteboard.string(), "candidate") << row.name;
    EXPECT_EQ(queue_.pendingCount(), 0u) << row.name;
    EXPECT_EQ(keys_.posted().size() == postedBefore, !row.activates) << row.name;
  }
}

// Two windows of one program: the user clicks into B while the model answers. Keys go to A
// only, while A is active and its field has the focus (browsers give it back to the page some
// time after their window became active); else the text is only copied. A desktop that first
// asks the user's consent (GNOME's remote-desktop dialog): nothing is typed while it is open,
// declined means copied, and after it A is awaited and checked again.
TEST_F(InserterTest, KeysGoOnlyToTheWindowAndFieldTheCycleStartedFrom) {
  constexpr std::uint64_t kA = 0x4a00001;
  const RunningApplication windowB{kPid, kBundle, "Editor", 0x4a00077};
  const std::vector<std::pair<std::string, std::optional<bool>>> rows{
      {"confirmed", {}},   {"window changed", {}},      {"field not focused", {}},
      {"confirmed", true}, {"keys unavailable", false}, {"window not activated", true}};
  for (const auto& [outcome, consent] : rows) {
    FakeAccessibility ax;
    FakeWorkspace workspace;
    workspace.addApplication({kPid, kBundle, "Editor", kA});
    workspace.addApplication(windowB, true);
    testing::FakeKeyEvents keys;
    TextInserter inserter(ax, workspace, pasteboard_, keys, queue_);
    field_ = ax.addElement("AXTextArea");
    ax.set(field_, AXAttribute::value, std::string("会议纪要："));
    ax.set(field_, AXAttribute::focused, outcome == "window changed" || consent);
    if (consent) {
      keys.holdReadiness();
    }
    ax.rejectWrites(field_, AXAttribute::focused);
    keys.setOnPosted(
        [&](const KeyChord&) { ax.set(field_, AXAttribute::value, std::string("会议纪要：OK。")); });
    keys.setResult(outcome == "window changed" ? KeyPostResult::retry : KeyPostResult::posted);
    auto t = std::make_shared<FocusedTarget>(*target(false));
    t->window = kA;
    insert(inserter, "OK。", t);
    queue_.advance(100ms);
    EXPECT_EQ(keys.posted().empty(), outcome != "window changed") << "no keys before the focus is back";
    ax.set(field_, AXAttribute::focused, outcome != "field not focused");
    workspace.setFrontmost(outcome.starts_with("window") ? windowB
                                                         : workspace.frontmostApplication().value());
    keys.setResult(KeyPostResult::posted);
    if (consent) {
      keys.answerReadiness(*consent);
    }
    queue_.advance(3s);
    ASSERT_TRUE(outcome_) << outcome;
    EXPECT_EQ(outcome_->attempts.back().outcome, outcome);
    EXPECT_EQ(workspace.windowActivations(), std::vector<std::uint64_t>{kA}) << outcome;
    const bool typed = outcome == "confirmed";
    EXPECT_EQ(ax.get(field_, AXAttribute::value) == FakeAXValue(std::string("会议纪要：OK。")), typed)
        << outcome;
    EXPECT_EQ(result(), typed ? InsertResult::inserted : InsertResult::copied) << outcome;
  }
}

// A terminal hands Ctrl+V to the shell (a literal ^V); a single-line field cannot hold line
// breaks, so they become spaces before the text goes in, and the read-back looks for that.
TEST_F(InserterTest, TheTextAndTheChordFitTheField) {
  const std::string candidate = "第一行，OK。\r\n第二行：done！\n(3)";
  const std::tuple<const char*, const char*, std::string> rows[] = {
      {"AXTextField", "ctrl+v", "第一行，OK。 第二行：done！ (3)"},
      {"AXTextArea", "ctrl+v", candidate},
      {"AXTerminal", "ctrl+shift+v", candidate},
  };
  const auto written = field_;
  for (const auto& [role, chord, arrives] : rows) {
    FakeAccessibility ax;
    testing::FakeKeyEvents keys;
    TextInserter inserter(ax, workspace_, pasteboard_, keys, queue_);
    field_ = ax.addElement(role);
    ax.set(field_, AXAttribute::value, std::string("$ "));
    keys.setOnPosted([&](const KeyChord&) {
      ax.set(field_, AXAttribute::value, "$ " + pasteboard_.string().value_or(""));
    });
    auto t = std::make_shared<FocusedTarget>(*target(false));
    t->focusedRole = role;
    t->isTerminal = std::string_view(role) == "AXTerminal";
    insert(inserter, candidate, t);
    queue_.advance(1s);
    EXPECT_EQ(keys.posted(), std::vector<std::string>{chord}) << role;
    EXPECT_EQ(ax.get(field_, AXAttribute::value), FakeAXValue("$ " + arrives)) << role;
    EXPECT_EQ(result(), InsertResult::inserted) << role;
  }
  field_ = written;  // and written through accessibility
  ax_.set(field_, AXAttribute::selectedTextRange, TextRange{11, 0});
  insert("好的，\n明天见。", target());
  EXPECT_EQ(fieldValue(AXAttribute::value), FakeAXValue(std::string("Hello world好的， 明天见。")));
}

// Alt pressed twice opens Firefox's menu bar for a moment: the cycle may begin with the focus on
// "File", or on the page before its field has the focus back. The paste goes to the field
// focused by now; neither the menu nor the page is focused again or given a caret.
TEST_F(InserterTest, ATargetCaughtInAMenuOrOnThePagePastesIntoTheFieldFocusedNow) {
  const auto app = ax_.addElement("AXApplication");
  ax_.setApplication(kPid, app);
  ax_.set(app, AXAttribute::focusedUIElement, field_);
  for (const std::string role : {"AXMenu", "AXWebArea"}) {
    SCOPED_TRACE(role);
    auto caught = std::make_shared<FocusedTarget>(*target(false));
    caught->focusedElement = ax_.addElement(role);
    caught->focusedRole = role;
    caught->selectedTextRange = TextRange{0, 0};
    pasteLands(ax_, pasteboard_);
    insert("candidate", caught);
    queue_.advance(1s);
    EXPECT_EQ(result(), InsertResult::inserted);
    for (const auto& write : ax_.writes()) {
      EXPECT_EQ(write.element, field_);
    }
  }
}

TEST_F(InserterTest, AHeldModifierDelaysThePasteChordAndTheRestoreFollowsIt) {
  pasteboard_.copyExternally({FakePasteboard::textItem("mine")});
  pasteLands(ax_, pasteboard_);
  keys_.setResult(KeyPostResult::retry);
  insert("candidate", target(false));
  queue_.advance(50ms + 2 * TextInserter::kKeyRetryInterval);
  EXPECT_EQ(keys_.posted().size(), 3u) << "asked again while the modifier is held";
  keys_.setResult(KeyPostResult::posted);
  queue_.advance(TextInserter::kKeyRetryInterval);
  EXPECT_EQ(keys_.posted().size(), 4u);
  EXPECT_EQ(pasteboard_.string(), "candidate") << "the target has not pasted yet";
  queue_.advance(TextInserter::kConfirmPoll);
  EXPECT_EQ(result(), InsertResult::inserted);
  EXPECT_EQ(pasteboard_.string(), "mine");
}

// A field that cannot be read: the program fetching the text tells a delivered paste where the
// clipboard can say so, else the end of the confirmation window; either way the user's clipboard
// (an image, a file list) comes back, and a stalled owner's is never replaced by nothing.
TEST_F(InserterTest, TheUsersClipboardComesBackAfterEveryPostedPaste) {
  const std::vector<PasteboardItem> mine = {
      {{{"image/png", bytes("\x89PNG\r\n\x1a\n")},
        {"text/uri-list", bytes("file:///home/用户/报告（终稿）.png")}}}};
  const std::string candidate = "好的，周五下午3点见！PR #42 我已经review过了。";
  const struct {
    const char* name;
    bool readable, counted, fetched, stalled;
    InsertResult result;
    const char* outcome;
    bool restored;  // else the candidate stays
  } rows[] = {
      {"fetched", false, true, true, false, InsertResult::pasted, "fetched", true},
      {"never fetched", false, true, false, false, InsertResult::copied, "not fetched", false},
      {"fetches unseen", false, false, false, false, InsertResult::pasted, "unconfirmed", true},
      {"stalled owner", true, false, true, true, InsertResult::inserted, "confirmed", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakePasteboard pasteboard;
    pasteboard.copyExternally(mine);
    if (row.counted) {
      pasteboard.countFetches();
    }
    if (row.stalled) {
      pasteboard.stallOwner();
    }
    TextInserter inserter(ax_, workspace_, pasteboard, keys_, queue_);
    ax_.set(field_, AXAttribute::value, std::string("草稿："));
    keys_.setOnPosted([&](const KeyChord&) {
      if (row.fetched) {
        ax_.set(field_, AXAttribute::value, "草稿：" + pasteboard.fetchText().value_or(""));
      }
    });
    auto t = std::make_shared<FocusedTarget>(*target(false));
    if (!row.readable) {
      t->focusedElement.reset();
    }
    insert(inserter, candidate, t);
    queue_.advance(TextInserter::kPasteDelay + TextInserter::kConfirmPoll);
    EXPECT_EQ(outcome_.has_value(), row.fetched) << "settled by the fetch, not by the deadline";
    queue_.advance(10s);
    ASSERT_TRUE(outcome_);
    EXPECT_EQ(outcome_->result, row.result);
    EXPECT_EQ(outcome_->attempts, (std::vector<InsertAttempt>{{"paste", row.outcome}}));
    EXPECT_EQ(pasteboard.contents(), row.restored ? mine : std::vector{FakePasteboard::textItem(candidate)});
  }
  keys_.setOnPosted(nullptr);
}

// The restore gives back an empty clipboard too, and never overwrites a newer copy.
TEST_F(InserterTest, TheRestoreNeverOverwritesNewerClipboardContent) {
  for (const auto& [countKnown, later] :
       {std::pair{true, "copied later"}, {false, "copied later"}, {true, ""}}) {
    FakePasteboard pasteboard;
    if (!countKnown) {
      pasteboard.hideChangeCount();
    }
    TextInserter inserter(ax_, workspace_, pasteboard, keys_, queue_);
    ax_.set(field_, AXAttribute::value, std::string("Hello world"));
    insert(inserter, "candidate", target(false));
    queue_.advance(60ms);  // the chord is out
    if (*later != '\0') {
      pasteboard.copyTextExternally(later);
    }
    ax_.set(field_, AXAttribute::value, std::string("Hello world candidate"));  // pasted by then
    queue_.advance(1s);
    EXPECT_EQ(result(), InsertResult::inserted) << countKnown;
    EXPECT_EQ(pasteboard.string().value_or(""), later) << countKnown;
  }
}

TEST_F(InserterTest, SecondPasteBeforeTheRestoreKeepsTheUsersClipboard) {
  pasteboard_.copyTextExternally("mine");
  insert("first", target(false));
  queue_.advance(60ms);  // the chord is out; the first paste is not seen yet
  pasteLands(ax_, pasteboard_);
  insert("second", target(false));
  EXPECT_EQ(pasteboard_.string(), "second");
  queue_.advance(200ms);
  EXPECT_EQ(result(), InsertResult::inserted);
  EXPECT_EQ(pasteboard_.string(), "mine");
}

TEST_F(InserterTest, FailedActivationOrQuitApplicationOnlyCopies) {
  for (const bool quit : {false, true}) {
    FakeWorkspace workspace;
    if (!quit) {
      workspace.addApplication({kPid, kBundle, "Editor"});
      workspace.refuseActivation(kPid);
    }
    TextInserter inserter(ax_, workspace, pasteboard_, keys_, queue_);
    pasteboard_.copyTextExternally("mine");
    insert(inserter, "candidate", target(false));
    EXPECT_EQ(result(), InsertResult::copied) << quit;
    EXPECT_EQ(pasteboard_.lastHistory(), ClipboardHistory::keep);
    queue_.advance(1000ms);
    EXPECT_TRUE(keys_.posted().empty());
    EXPECT_EQ(pasteboard_.string(), "candidate");
  }
}

TEST_F(InserterTest, WithoutItsWindowTheTargetsOwnInstanceIsActivatedElseTheFirstWithItsID) {
  FakeWorkspace workspace;
  for (const std::int32_t pid : {10, 11, kPid}) {
    workspace.addApplication({pid, pid == 10 ? "org.example.other" : kBundle, "Editor"});
  }
  TextInserter inserter(ax_, workspace, pasteboard_, keys_, queue_);
  auto t = std::make_shared<FocusedTarget>(*target(false));
  insert(inserter, "x", t);
  t->processID = 5;  // an instance no longer running
  insert(inserter, "x", t);
  EXPECT_EQ(workspace.activations(), (std::vector<std::int32_t>{kPid, 11}));
}

// Browsers report a field's text with characters the user never typed; a text the field held
// before does not count as arriving.
TEST_F(InserterTest, InsertionCheckComparesWhatTheUserSees) {
  const struct {
    const char* before;
    const char* after;
    const char* text;
    InsertionCheck::Verdict verdict;
  } rows[] = {
      {"周五 ", "周五 收到😀\xEF\xBB\xBF", "收到😀", InsertionCheck::Verdict::landed},
      {"a",
       "a\xC2\xA0"
       "b",
       " b", InsertionCheck::Verdict::landed},
      {"x", "x1\r\n2", "1\n2", InsertionCheck::Verdict::landed},
      {"好的", "好的", "好的", InsertionCheck::Verdict::notYet},
      {"好的", "好的好的", "好的", InsertionCheck::Verdict::landed},
  };
  for (const auto& row : rows) {
    ax_.set(field_, AXAttribute::value, std::string(row.before));
    const auto check = InsertionCheck::before(ax_, field_, row.text);
    ax_.set(field_, AXAttribute::value, std::string(row.after));
    EXPECT_EQ(check.check(ax_), row.verdict) << row.after;
  }
}

InputContextState contextState(bool focused, bool refusesText = false) {
  InputContextState state;
  state.focused = focused;
  state.refusesText = refusesText;
  return state;
}

// The input method goes first; no key is posted, nothing is written through accessibility, a
// commit is made once however its confirmation ends, and the clipboard is touched only when the
// program shows its text without the commit in it.
TEST_F(InserterTest, ACommitThroughTheInputMethodIsConfirmedWhereTheProgramShowsIt) {
  const std::string candidate = "好的，周五下午三点见。\nThanks！";
  const struct {
    const char* name;
    std::optional<std::string> surrounding;  // the program reports the text around the caret
    bool fieldReadable;                      // the field reads back through accessibility
    bool arrives;                            // the program shows the commit
    InsertResult result;
    const char* outcome;
  } rows[] = {
      {"surrounding text", "会议纪要：Thanks！", false, true, InsertResult::inserted, "confirmed"},
      {"accessibility read-back", std::nullopt, true, true, InsertResult::inserted, "confirmed"},
      {"nothing to read", std::nullopt, false, true, InsertResult::pasted, "unconfirmed"},
      {"readable, never shown", "会议纪要：Thanks！", true, false, InsertResult::copied, "not seen"},
  };
  for (const auto& row : rows) {
    FakeAccessibility ax;
    testing::FakeInputMethod im;
    TextInserter inserter(ax, workspace_, pasteboard_, keys_, queue_, &im);
    field_ = ax.addElement("AXTextArea");
    if (row.fieldReadable) {
      ax.set(field_, AXAttribute::value, std::string("会议纪要："));
    }
    im.context = contextState(true);
    im.context->surroundingText = row.surrounding;
    if (!row.arrives) {
      im.onCommit = [&](const std::string&) { im.context->surroundingText = row.surrounding; };
    } else if (row.fieldReadable) {
      im.onCommit = [&](const std::string& text) { ax.set(field_, AXAttribute::value, "会议纪要：" + text); };
    }
    pasteboard_.copyTextExternally("剪贴板：原文 mine");
    const auto changes = pasteboard_.changeCount();
    auto t = std::const_pointer_cast<FocusedTarget>(target(true, TextRange{5, 0}));
    t->focusedRole = "AXTextArea";
    t->inputContext = testing::FakeInputMethod::kTicket;
    insert(inserter, candidate, t);
    queue_.advance(10s);
    ASSERT_TRUE(outcome_) << row.name;
    EXPECT_EQ(outcome_->result, row.result) << row.name;
    EXPECT_EQ(outcome_->attempts, (std::vector<InsertAttempt>{{"input method", row.outcome}})) << row.name;
    EXPECT_EQ(im.commits, std::vector<std::string>{candidate}) << row.name;
    // Only a commit known lost leaves the candidate on the clipboard, for the user to paste.
    if (row.result == InsertResult::copied) {
      EXPECT_EQ(pasteboard_.string(), candidate) << row.name;
    } else {
      EXPECT_EQ(pasteboard_.changeCount(), changes) << row.name;
    }
    EXPECT_TRUE(keys_.posted().empty() && ax.writes().empty() && workspace_.activations().empty())
        << row.name;
  }
}

// Where the input method cannot take the text, the other strategies run as before; a field the
// program has turned into a password field gets nothing at all.
TEST_F(InserterTest, WithoutTheRememberedContextTheOtherStrategiesRun) {
  const InsertAttempt kWritten{"accessibility", "written"};
  const struct {
    const char* name;
    std::optional<InputContextState> context;
    std::optional<std::chrono::milliseconds> focusBackAfter;  // once the window is activated
    std::vector<InsertAttempt> attempts;
    InsertResult result;
  } rows[] = {
      {"gone", std::nullopt, std::nullopt, {{"input method", "gone"}, kWritten}, InsertResult::inserted},
      {"not focused",
       contextState(false),
       std::nullopt,
       {{"input method", "not focused"}, kWritten},
       InsertResult::inserted},
      {"focused again", contextState(false), 300ms, {{"input method", "not seen"}}, InsertResult::copied},
      {"password",
       contextState(true, true),
       std::nullopt,
       {{"input method", "password field"}},
       InsertResult::copied},
  };
  for (const auto& row : rows) {
    testing::FakeInputMethod im;
    TextInserter inserter(ax_, workspace_, pasteboard_, keys_, queue_, &im);
    ax_.set(field_, AXAttribute::value, std::string("Hello world"));
    const auto writesBefore = ax_.writes().size();
    im.context = row.context;
    auto t = std::const_pointer_cast<FocusedTarget>(target());
    t->inputContext = testing::FakeInputMethod::kTicket;
    if (row.focusBackAfter) {
      workspace_.setFrontmost(std::nullopt);  // our panel is in front
      queue_.postAfter(*row.focusBackAfter, [&] { im.context->focused = true; });
    }
    insert(inserter, "周五见，OK。", t);
    queue_.advance(10s);
    ASSERT_TRUE(outcome_) << row.name;
    EXPECT_EQ(outcome_->attempts, row.attempts) << row.name;
    EXPECT_EQ(outcome_->result, row.result) << row.name;
    const bool written = row.attempts.back().strategy == "accessibility";
    EXPECT_EQ(ax_.writes().size() > writesBefore, written) << row.name;
    EXPECT_EQ(im.commits.size(), row.focusBackAfter ? 1u : 0u) << row.name;
    EXPECT_TRUE(keys_.posted().empty()) << row.name;
  }
}

// A Qt 5 program may take the trigger's Alt after our panel took the keyboard, and its menu bar
// then keeps the keyboard in the window given back, where the field refuses an accessibility focus
// request. Escape into that window (twice from an open menu) gives the field the keyboard back
// before anything is pasted or committed; without a menu bar holding it, no key is pressed.
TEST_F(InserterTest, AMenuBarHoldingTheKeyboardInTheWindowGivenBackIsLeftWithEscape) {
  enum class Route { paste, inputMethod, givenBack };
  const struct {
    const char* name;
    Route route;
    bool menuOpen;  // a menu of the bar is open, not only the bar focused
    bool barHolds;  // false: the field is only slow to take the keyboard
    std::vector<std::string> keys;
  } rows[] = {
      {"paste, bar", Route::paste, false, true, {"escape", "ctrl+v"}},
      {"paste, open menu", Route::paste, true, true, {"escape", "escape", "ctrl+v"}},
      {"commit, bar", Route::inputMethod, false, true, {"escape"}},
      // Qt 5 keeps the window's input context focused under its menu bar: a commit would go there.
      {"commit, context focused under the bar", Route::inputMethod, false, true, {"escape"}},
      {"given back, open menu", Route::givenBack, true, true, {"escape", "escape"}},
      {"given back, no bar holding it", Route::givenBack, false, false, {}},
      {"given back, the cycle began in the menu", Route::givenBack, false, true, {}},
  };
  const std::string candidate = "收到，周三前改好OK。";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    FakeAccessibility ax;
    FakeWorkspace workspace;
    workspace.addApplication({kPid, kBundle, "Editor"}, true);
    testing::FakeKeyEvents keys;
    testing::FakeInputMethod im;
    TextInserter inserter(ax, workspace, pasteboard_, keys, queue_, &im);
    const auto window = ax.addElement("AXWindow");
    const auto bar = ax.addChild(window, "AXMenuBar");
    const auto menu = ax.addChild(bar, "AXMenuItem", std::string("文件"));
    // The field's window is a frame inside the top level (Qt nests them); the bar is the top level's.
    const auto frame = ax.addChild(window, "AXWindow");
    field_ = ax.addChild(frame, "AXTextArea", std::string("草稿："));
    ax.set(field_, AXAttribute::window, frame);
    const auto app = ax.addElement("AXApplication");
    ax.setApplication(kPid, app);
    ax.set(app, AXAttribute::focusedWindow, window);
    ax.rejectWrites(field_, AXAttribute::focused);
    ax.set(field_, AXAttribute::focused, false);
    ax.set(bar, AXAttribute::focused, row.barHolds);
    ax.set(menu, AXAttribute::focused, row.menuOpen);
    im.context = contextState(std::string_view(row.name).ends_with("under the bar"));
    im.onCommit = [&](const std::string& text) { ax.set(field_, AXAttribute::value, "草稿：" + text); };
    keys.setOnPosted([&](const KeyChord& chord) {
      if (chord.key == "v") {
        ax.set(field_, AXAttribute::value, "草稿：" + pasteboard_.string().value_or(""));
      } else if (ax.boolAttribute(menu, AXAttribute::focused) == true) {
        ax.set(menu, AXAttribute::focused, false);
      } else if (ax.boolAttribute(bar, AXAttribute::focused) == true) {
        ax.set(bar, AXAttribute::focused, false);
        ax.set(field_, AXAttribute::focused, true);
        im.context->focused = true;
      }
    });
    auto t = std::const_pointer_cast<FocusedTarget>(target(false, TextRange{3, 0}));
    t->focusedRole = "AXTextArea";
    const bool beganInMenu = std::string_view(row.name).ends_with("in the menu");
    if (beganInMenu) {
      t->focusedElement = menu;
      t->focusedRole = "AXMenuItem";
    }
    if (row.route == Route::inputMethod) {
      t->inputContext = testing::FakeInputMethod::kTicket;
    }
    if (row.route == Route::givenBack) {
      ASSERT_TRUE(inserter.giveFocusBack(t));
    } else {
      insert(inserter, candidate, t);
    }
    queue_.advance(5s);
    EXPECT_EQ(keys.posted(), row.keys);
    EXPECT_EQ(ax.boolAttribute(field_, AXAttribute::focused), row.barHolds && !beganInMenu);
    if (row.route != Route::givenBack) {
      ASSERT_TRUE(outcome_);
      EXPECT_EQ(result(), InsertResult::inserted);
      EXPECT_EQ(ax.get(field_, AXAttribute::value), FakeAXValue("草稿：" + candidate));
      const char* strategy = row.route == Route::paste ? "paste" : "input method";
      EXPECT_EQ(outcome_->attempts.front(), (InsertAttempt{strategy, "menu bar left"}));
    }
  }
}

}  // namespace
}  // namespace wrenfold
