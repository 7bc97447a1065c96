#include "core/context/context_hub.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/text/text.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_image_codec.h"
#include "fakes/fake_input_method.h"
#include "fakes/fake_pasteboard.h"
#include "fakes/fake_system_log.h"
#include "fakes/fake_window_capture.h"
#include "fakes/fake_workspace.h"
#include "fakes/manual_main_queue.h"
#include "fakes/manual_work_queue.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using testing::FakeImageCodec;

constexpr std::int32_t kPid = 900;
constexpr const char* kScreenRecordingWarning =
    "未能获取当前应用窗口截图，请检查 Screen Recording 权限或窗口是否可见。";

class HubTest : public ::testing::Test {
 protected:
  HubTest() {
    window_ = ax_.addElement("AXWindow");
    field_ = ax_.addChild(window_, "AXTextArea");
    ax_.set(field_, AXAttribute::window, window_);
    auto t = std::make_shared<FocusedTarget>();
    t->processID = kPid;
    t->appName = "Editor";
    t->appBundleID = "org.example.editor";
    t->windowTitle = "Draft";
    t->focusedElement = field_;
    t->inputFrame = Rect{0, 0, 100, 20};
    target_ = t;
  }

  void windowText(const std::string& text) { ax_.addChild(window_, "AXStaticText", text); }
  void screenshotAvailable() { windows_.addWindow({1, kPid, true, 0, {0, 0, 400, 300}, "Draft", 1.0}); }

  Result<ContextReadResult> read(std::shared_ptr<const FocusedTarget> target = nullptr) {
    std::optional<Result<ContextReadResult>> result;
    hub_->readContext(target ? target : target_, [&](Result<ContextReadResult> r) { result = std::move(r); });
    worker_.runAll();
    queue_.runPending();
    EXPECT_TRUE(result);
    return result.value_or(fail(AssistantError::unknown("no completion")));
  }

  testing::FakeAccessibility ax_;
  testing::FakePasteboard pasteboard_;
  testing::FakeWorkspace workspace_;
  testing::FakeWindowCapture windows_;
  FakeImageCodec codec_;
  testing::ManualWorkQueue worker_;
  testing::ManualClock clock_;
  testing::ManualMainQueue queue_{clock_};
  testing::TempDir dir_;
  AppLogger logger_{AppPaths(dir_.path()), std::make_shared<testing::SilentSystemLog>()};
  std::unique_ptr<ContextHub> hub_ = std::make_unique<ContextHub>(
      AccessibilityReader(ax_, clock_), ClipboardContextReader(pasteboard_, workspace_),
      ScreenshotReader(windows_, codec_, worker_, queue_, logger_), ax_);
  AccessibilityElement window_ = ax_.addElement();
  AccessibilityElement field_ = window_;
  std::shared_ptr<const FocusedTarget> target_;
};

TEST_F(HubTest, GoodAccessibilityTextComesWithTheScreenshotOrAWarning) {
  windowText("Meeting notes");
  auto result = read();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.source, ContextSource::accessibility);
  EXPECT_EQ(result->snapshot.visibleText, "Meeting notes");
  EXPECT_FALSE(result->screenshot);
  EXPECT_FALSE(result->screenshotData);
  EXPECT_EQ(result->screenshotWarning, kScreenRecordingWarning);
  EXPECT_EQ(read()->screenshotWarning, kScreenRecordingWarning) << "a failed capture is told every time";
  // A session that captures nothing (Wayland) says so once, not on every cycle.
  windows_.setAvailable(false);
  EXPECT_NE(read()->screenshotWarning.value_or("").find("当前会话无法截取窗口"), std::string::npos);
  EXPECT_FALSE(read()->screenshotWarning);
  windows_.setAvailable(true);
  screenshotAvailable();
  result = read();
  ASSERT_TRUE(result && result->screenshot);
  EXPECT_EQ(result->screenshotData, FakeImageCodec::encoded(400, 300, 0.82));
  EXPECT_FALSE(result->screenshotWarning);
}

TEST_F(HubTest, LowestGradeWithTextIsStillAboveTheBar) {
  windowText("Meeting notes");
  auto t = std::make_shared<FocusedTarget>(*target_);
  t->inputFrame.reset();
  const auto result = read(t);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.confidence, 0.55);
  EXPECT_EQ(result->snapshot.source, ContextSource::accessibility);
}

TEST_F(HubTest, WhitespaceOnlyAccessibilityTextIsNotUsedEvenAtHighConfidence) {
  ax_.set(field_, AXAttribute::selectedText, std::string("  \n"));
  pasteboard_.copyTextExternally("clipboard words");
  const auto result = read();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.source, ContextSource::clipboardFallback);
}

TEST_F(HubTest, WeakAccessibilityTextGivesWayToTheScreenshot) {
  windowText("close");
  screenshotAvailable();
  const auto result = read();
  ASSERT_TRUE(result);
  ContextSnapshot expected;
  expected.source = ContextSource::screenshot;
  expected.appName = "Editor";
  expected.appBundleID = "org.example.editor";
  expected.windowTitle = "Draft";
  expected.confidence = 0.7;
  expected.warnings = {"使用当前窗口截图作为视觉上下文。"};
  EXPECT_EQ(result->snapshot, expected);
  EXPECT_TRUE(result->screenshot);
  EXPECT_FALSE(result->screenshotWarning);
}

// A program that shows accessibility nothing (a terminal, a Wayland program) but tells the input
// method the text around the caret: that text, with its selection cut by code points, comes
// before the screenshot; without it, the screenshot as before.
TEST_F(HubTest, TheInputMethodsTextComesBeforeTheScreenshotWhereAccessibilityHasNone) {
  testing::FakeInputMethod im;
  hub_ = std::make_unique<ContextHub>(
      AccessibilityReader(ax_, clock_), ClipboardContextReader(pasteboard_, workspace_),
      ScreenshotReader(windows_, codec_, worker_, queue_, logger_), ax_, &logger_, &im);
  screenshotAvailable();
  auto t = std::make_shared<FocusedTarget>(*target_);
  t->inputContext = testing::FakeInputMethod::kTicket;
  const std::string field = "会议纪要：周五下午3点，Room 302（暂定）。";
  const struct {
    std::optional<std::string> surrounding;
    std::uint32_t anchor;
    std::uint32_t cursor;
    ContextSource source;
    std::optional<std::string> selected;
  } rows[] = {
      {field, 5, 13, ContextSource::selectedText, "周五下午3点，R"},
      {field, 40, 2, ContextSource::accessibility, std::nullopt},  // stale: past the end
      {field, 8, 8, ContextSource::accessibility, std::nullopt},
      {std::nullopt, 0, 0, ContextSource::screenshot, std::nullopt},
  };
  for (const auto& row : rows) {
    im.context = InputContextState{};
    im.context->surroundingText = row.surrounding;
    im.context->anchor = row.anchor;
    im.context->cursor = row.cursor;
    const auto result = read(t);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->snapshot.source, row.source) << row.anchor;
    EXPECT_EQ(result->snapshot.selectedText, row.selected) << row.anchor;
    EXPECT_TRUE(result->screenshot);
    if (row.source != ContextSource::screenshot) {
      EXPECT_EQ(result->snapshot.focusedText, field);
      EXPECT_EQ(result->snapshot.confidence, row.selected ? 0.92 : 0.76);
    }
  }
}

TEST_F(HubTest, NoFocusedElementFallsBackToTheClipboardTrimmed) {
  auto t = std::make_shared<FocusedTarget>(*target_);
  t->focusedElement.reset();
  pasteboard_.copyTextExternally("  word \n");
  const auto result = read(t);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.source, ContextSource::clipboardFallback);
  EXPECT_EQ(result->snapshot.visibleText, "word");
  EXPECT_EQ(result->snapshot.confidence, 0.45);
  EXPECT_EQ(result->snapshot.warnings, std::vector<std::string>{"使用剪贴板作为低置信度上下文。"});
  EXPECT_EQ(result->snapshot.appName, "Editor");
  EXPECT_FALSE(result->snapshot.nearbyText);
  EXPECT_EQ(pasteboard_.string(), "  word \n");  // read, never written
}

TEST_F(HubTest, ClipboardTextIsCutToFiveThousandCharacters) {
  for (const std::size_t length : {5000u, 5001u}) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
      text += "é";
    }
    pasteboard_.copyTextExternally(text);
    const auto result = read();
    ASSERT_TRUE(result);
    EXPECT_EQ(text::graphemeCount(result->snapshot.visibleText), 5000u) << length;
  }
}

TEST_F(HubTest, NothingAnywhereIsContextUnavailable) {
  for (const char* clipboard : {"", " \n\t"}) {
    pasteboard_.copyTextExternally(clipboard);
    const auto result = read();
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().is(AssistantError::Kind::contextUnavailable));
  }
}

TEST_F(HubTest, ACopiedPasswordIsNeverContextAndTheMessageSaysWhy) {
  const auto hinted = [](const char* hint) {
    PasteboardItem item = testing::FakePasteboard::textItem("hunter2");
    item.representations.emplace_back(std::string(kPasswordManagerHintType),
                                      std::vector<std::uint8_t>(hint, hint + std::strlen(hint)));
    return item;
  };
  struct Row {
    const char* name;
    PasteboardItem content;
    std::optional<std::string> owner;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"marked secret", hinted("secret"), std::nullopt,
       "没有读取到可用上下文。剪贴板内容被复制它的程序标记为密码，已跳过。"},
      {"owned by a password manager", testing::FakePasteboard::textItem("hunter2"), "org.keepassxc.KeePassXC",
       "没有读取到可用上下文。剪贴板内容来自密码管理器、银行或钱包类应用，已跳过。"},
      {"owned by a wallet", testing::FakePasteboard::textItem("hunter2"), "org.example.Wallet",
       "没有读取到可用上下文。剪贴板内容来自密码管理器、银行或钱包类应用，已跳过。"},
  };
  for (const auto& row : rows) {
    pasteboard_.copyExternally({row.content});
    workspace_.setClipboardOwner(row.owner ? std::optional(RunningApplication{7, row.owner, "Owner"})
                                           : std::nullopt);
    const auto result = read();
    ASSERT_FALSE(result) << row.name;
    EXPECT_EQ(result.error().localizedDescription(), row.message) << row.name;
  }
  // Another hint value or an ordinary owner: the clipboard is context as before.
  pasteboard_.copyExternally({hinted("accepted")});
  workspace_.setClipboardOwner(RunningApplication{7, "org.gnome.TextEditor", "Text Editor"});
  const auto result = read();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.visibleText, "hunter2");
}

TEST_F(HubTest, ApplicationNoticeIsAddedOnceToTheChosenContext) {
  windowText("Meeting notes");
  ax_.setApplicationNotice(kPid, "请重新启动 Chromium 以读取其文本。");
  auto result = read();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->snapshot.warnings, std::vector<std::string>{"请重新启动 Chromium 以读取其文本。"});
  result = read();
  EXPECT_TRUE(result->snapshot.warnings.empty());
}

// What waits for the capture (the panel) gets a turn of the main loop before the text read,
// which waits on the program, holds the loop.
TEST_F(HubTest, TheCaptureIsToldATurnBeforeTheTextIsRead) {
  windowText("发布会改到周五下午三点，OK？");
  std::vector<std::string> order;
  hub_->readContext(
      target_, [&](Result<ContextReadResult> r) { order.push_back(r ? r->snapshot.visibleText : "failed"); },
      [&] {
        order.emplace_back("captured");
        queue_.post([&] { order.emplace_back("a turn"); });
      });
  worker_.runAll();
  queue_.runPending();
  EXPECT_EQ(order, (std::vector<std::string>{"captured", "a turn", "发布会改到周五下午三点，OK？"}));
}

// The panel waits for the window's pixels, not for their scaling and encoding, which took longer
// than finding the target on a busy machine; a failed capture still lets it show.
TEST_F(HubTest, WhatWaitsForTheCaptureIsToldOnceThePixelsAreTaken) {
  windowText("发布会改到周五下午三点，OK？");
  for (const bool capturable : {false, true}) {
    SCOPED_TRACE(capturable ? "captured" : "no window to capture");
    if (capturable) {
      screenshotAvailable();
    }
    std::optional<int> scaledWhenTold;
    int told = 0;
    std::optional<Result<ContextReadResult>> result;
    hub_->readContext(
        target_, [&](Result<ContextReadResult> r) { result = std::move(r); },
        [&] {
          ++told;
          scaledWhenTold = codec_.resizeCount();
        });
    const int scaledBefore = codec_.resizeCount();
    ASSERT_TRUE(worker_.runOne());  // the capture
    queue_.runPending();
    EXPECT_EQ(scaledWhenTold, scaledBefore) << "told before anything was scaled";
    worker_.runAll();
    queue_.runPending();
    EXPECT_EQ(told, 1);
    ASSERT_TRUE(result && *result);
    EXPECT_EQ((*result)->snapshot.visibleText, "发布会改到周五下午三点，OK？");
    EXPECT_EQ((*result)->screenshotData.has_value(), capturable);
  }
}

// The program's text is read while the pixels are encoded, not after: on a busy machine each took
// tens of milliseconds, and the request waited for both.
TEST_F(HubTest, TheTextIsReadWhileThePixelsAreEncoded) {
  windowText("发布会改到周五下午三点，OK？");
  screenshotAvailable();
  std::optional<std::size_t> encodingsQueuedAtRead;
  ax_.onRead([&] {
    if (!encodingsQueuedAtRead) {
      encodingsQueuedAtRead = worker_.pendingCount();
    }
  });
  std::optional<Result<ContextReadResult>> result;
  hub_->readContext(target_, [&](Result<ContextReadResult> r) { result = std::move(r); });
  ASSERT_TRUE(worker_.runOne());  // the pixels
  queue_.runPending();
  EXPECT_EQ(encodingsQueuedAtRead, 1u) << "read before the encoding ran";
  EXPECT_FALSE(result) << "the request still needs the encoded screenshot";
  worker_.runAll();
  queue_.runPending();
  ASSERT_TRUE(result && *result);
  EXPECT_EQ((*result)->snapshot.visibleText, "发布会改到周五下午三点，OK？");
  EXPECT_TRUE((*result)->screenshotData);
}

TEST_F(HubTest, CompletionDoesNothingOnceTheHubIsGone) {
  bool called = false;
  hub_->readContext(target_, [&](Result<ContextReadResult>) { called = true; });
  hub_.reset();
  worker_.runAll();
  queue_.runPending();
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace wrenfold
