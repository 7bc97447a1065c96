// The AT-SPI back-end against real GTK 3 and Qt 6 applications in a private desktop
// (scripts/desktop-session). Each fixture reports its own field text to a file, the witness
// that does not go through the accessibility bus.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/context/accessibility_reader.h"
#include "core/platform/clock.h"
#include "core/target/focused_target_resolver.h"
#include "core/text/text.h"
#include "fakes/fake_workspace.h"
#include "fixture_app.h"
#include "platform/linux/accessibility_bus_status.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_workspace.h"
#include "support/temp_dir.h"

namespace wrenfold {
namespace {

using namespace std::chrono_literals;
using testing::FixtureApp;
using testing::waitUntil;

constexpr auto kStartTimeout = 15s;
const std::string kDraft = "你好，草稿 draft";

struct Focus {
  AccessibilityElement application;
  AccessibilityElement element;
};

class AccessibilityDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr || std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr) {
      GTEST_SKIP() << "no desktop: run under scripts/desktop-session";
    }
    ax_ = std::make_unique<LinuxAccessibility>(std::make_shared<LinuxWorkspace>(), options());
  }

  virtual LinuxAccessibility::Options options() const { return {}; }

  std::unique_ptr<FixtureApp> launch(const char* program, std::vector<std::string> arguments,
                                     const std::vector<std::string>& environment = {}) {
    auto app = std::make_unique<FixtureApp>(program, std::move(arguments), dir_.path(), environment);
    EXPECT_TRUE(app->started()) << program;
    return app;
  }

  // The application's element and its focused element once it has role `role`.
  std::optional<Focus> waitForFocus(const FixtureApp& app, const std::string& role) {
    std::optional<Focus> found;
    waitUntil(
        [&] {
          auto application = ax_->applicationElement(app.pid());
          if (!application) {
            return false;
          }
          auto element = ax_->elementAttribute(*application, AXAttribute::focusedUIElement);
          if (!element || ax_->stringAttribute(*element, AXAttribute::role) != role) {
            return false;
          }
          found = Focus{*application, *element};
          return true;
        },
        kStartTimeout);
    return found;
  }

  std::optional<std::string> value(const AccessibilityElement& element) {
    return ax_->stringAttribute(element, AXAttribute::value);
  }

  testing::TempDir dir_;
  std::unique_ptr<LinuxAccessibility> ax_;
};

std::int64_t utf16Length(const std::string& s) {
  return static_cast<std::int64_t>(text::utf16Length(s));
}

TEST_F(AccessibilityDesktopTest, ResolvesTheFocusedFieldOfEachShape) {
  struct Row {
    const char* mode;
    const char* role;
    std::optional<std::string> value;
    bool isProtected;
  };
  const std::vector<Row> rows = {
      {"entry", "AXTextField", kDraft, false},
      {"textview", "AXTextArea", "第一行\n第二行 line two", false},
      // A password field is found and recognised, but its text is never read.
      {"login", "AXSecureTextField", std::nullopt, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.mode);
    const std::string text = row.value.value_or("hunter2");
    const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", row.mode, "--text", text});
    const auto focus = waitForFocus(*app, row.role);
    ASSERT_TRUE(focus) << "no focused " << row.role;

    EXPECT_EQ(value(focus->element), row.value);
    EXPECT_EQ(ax_->boolAttribute(focus->element, AXAttribute::protectedContent), row.isProtected);
    const auto window = ax_->elementAttribute(focus->application, AXAttribute::focusedWindow);
    ASSERT_TRUE(window);
    EXPECT_EQ(ax_->stringAttribute(*window, AXAttribute::title),
              std::string("Wrenfold fixture: ") + row.mode);
    EXPECT_EQ(ax_->stringAttribute(*window, AXAttribute::role), "AXWindow");
    EXPECT_TRUE(ax_->elementAttribute(focus->element, AXAttribute::window) == *window);

    const auto position = ax_->pointAttribute(focus->element, AXAttribute::position);
    const auto size = ax_->sizeAttribute(focus->element, AXAttribute::size);
    const auto windowPosition = ax_->pointAttribute(*window, AXAttribute::position);
    const auto windowSize = ax_->sizeAttribute(*window, AXAttribute::size);
    ASSERT_TRUE(position && size && windowPosition && windowSize);
    EXPECT_GT(size->width, 0);
    EXPECT_GT(size->height, 0);
    const Rect field{position->x, position->y, size->width, size->height};
    const Rect frame{windowPosition->x, windowPosition->y, windowSize->width, windowSize->height};
    EXPECT_DOUBLE_EQ(field.intersectionArea(frame), field.area()) << "the field lies inside its window";
  }
}

// Qt tells of no focused element in one call, and a field focused before we listened (GTK 4
// tells of none at a program's start) is found by a walk of the window, whose time is bounded.
// Each round trip to a program that answers late costs a scheduling of that program; asked one
// after another, the sixty-odd elements here took longer than the walk may.
TEST_F(AccessibilityDesktopTest, AFieldFocusedBeforeWeListenedIsFoundInALateAnsweringWindow) {
  const std::string text = "第一行：会议改到周五下午三点。\nline two 第二行";
  const auto app =
      launch(WRENFOLD_QT_FIXTURE, {"--mode", "textedit", "--text", text, "--labels", "60", "--busy", "15"});
  ASSERT_TRUE(waitForFocus(*app, "AXTextArea"));
  ax_ = std::make_unique<LinuxAccessibility>(std::make_shared<LinuxWorkspace>(), options());
  const auto application = ax_->applicationElement(app->pid());
  ASSERT_TRUE(application);
  const auto focused = ax_->elementAttribute(*application, AXAttribute::focusedUIElement);
  ASSERT_TRUE(focused);
  EXPECT_EQ(ax_->stringAttribute(*focused, AXAttribute::role), "AXTextArea");
  EXPECT_EQ(value(*focused), text);
}

// Tab moves between two Qt fields are followed: the field the cycle reads and writes is the one
// focused now, not the one focused before.
TEST_F(AccessibilityDesktopTest, TabMovesBetweenQtFieldsAreFollowed) {
  const std::string second = "第二栏：second field";
  const auto app = launch(WRENFOLD_QT_FIXTURE, {"--mode", "lineedit", "--text", kDraft, "--second", second});
  ASSERT_TRUE(testing::xdotool({"search", "--sync", "--onlyvisible", "--name",
                                "Wrenfold fixture: qt lineedit", "windowactivate", "--sync"}));
  const auto focusedValue = [&] {
    auto application = ax_->applicationElement(app->pid());
    auto element =
        application ? ax_->elementAttribute(*application, AXAttribute::focusedUIElement) : std::nullopt;
    return element ? value(*element) : std::nullopt;
  };
  for (const auto& [key, expected] : {std::pair{"Tab", second}, {"shift+Tab", kDraft}, {"Tab", second}}) {
    ASSERT_TRUE(testing::xdotool({"key", key}));
    EXPECT_TRUE(waitUntil([&] { return focusedValue() == expected; }, kStartTimeout))
        << key << ": " << focusedValue().value_or("none");
  }
}

TEST_F(AccessibilityDesktopTest, ReadsEveryLabelOfTheSixHundredLabelWindow) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "labels"});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);
  const auto window = ax_->elementAttribute(focus->element, AXAttribute::window);
  ASSERT_TRUE(window);

  std::vector<std::string> labels;
  const std::function<void(const AccessibilityElement&)> walk = [&](const AccessibilityElement& element) {
    if (ax_->stringAttribute(element, AXAttribute::role) == "AXStaticText") {
      labels.push_back(value(element).value_or(""));
    }
    for (const auto& child : ax_->elementListAttribute(element, AXAttribute::children)
                                 .value_or(std::vector<AccessibilityElement>{})) {
      walk(child);
    }
  };
  walk(*window);
  ASSERT_EQ(labels.size(), 601u) << "the recipient line and 600 rows";
  EXPECT_EQ(labels.front(), "收件人：王小明");
  EXPECT_EQ(labels[1], "第 1 行 line 1");
  EXPECT_EQ(labels.back(), "第 600 行 line 600");
}

// Regression guard for the back-end keeping labels and children between reads: a label that
// changes and a row added after the first read must both show in the next read.
TEST_F(AccessibilityDesktopTest, AReadAfterTheWindowChangedShowsTheChange) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "labels"});
  ASSERT_TRUE(waitForFocus(*app, "AXTextField"));
  testing::FakeWorkspace workspace;
  workspace.setFrontmost(RunningApplication{app->pid(), "org.wrenfold.fixture.labels", std::nullopt});
  const SystemClock clock;
  const auto visibleText = [&]() -> std::string {
    const auto target = FocusedTargetResolver(*ax_, workspace).resolve();
    if (!target) {
      return {};
    }
    const auto snapshot = AccessibilityReader(*ax_, clock).read(**target);
    return snapshot ? snapshot->visibleText : std::string();
  };
  const std::string before = visibleText();
  ASSERT_NE(before.find("\n第 1 行 line 1\n"), std::string::npos) << before.substr(0, 200);

  ASSERT_EQ(::kill(app->pid(), SIGUSR2), 0);
  const std::string changed = kDraft + "\n新加的一行 added row\n第 1 行 已更新 changed\n第 2 行 line 2\n";
  std::string after;
  EXPECT_TRUE(waitUntil(
      [&] {
        after = visibleText();
        return after.find(changed) != std::string::npos;
      },
      5s))
      << after.substr(0, 300);
  EXPECT_EQ(after.find("第 1 行 line 1"), std::string::npos);
}

TEST_F(AccessibilityDesktopTest, WritesCjkAndEmojiIntoGtkAndQtFields) {
  struct Row {
    const char* program;
    const char* mode;
    const char* role;
  };
  const std::vector<Row> rows = {
      {WRENFOLD_GTK_FIXTURE, "entry", "AXTextField"},    // offsets in code points, lengths in bytes
      {WRENFOLD_GTK_FIXTURE, "textview", "AXTextArea"},  // the same, through a text buffer
      {WRENFOLD_QT_FIXTURE, "lineedit", "AXTextField"},  // offsets and lengths in UTF-16 units
      {WRENFOLD_QT_FIXTURE, "textedit", "AXTextArea"},
  };
  const std::string candidate = "你好🙂 world";
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.program).substr(std::string(row.program).rfind('/') + 1) + " " + row.mode);
    const auto app = launch(row.program, {"--mode", row.mode, "--text", "草稿"});
    const auto focus = waitForFocus(*app, row.role);
    ASSERT_TRUE(focus);
    const auto& field = focus->element;

    // Replace everything that is selected.
    ASSERT_TRUE(ax_->setRange(field, AXAttribute::selectedTextRange, {0, 2}));
    EXPECT_EQ(ax_->rangeAttribute(field, AXAttribute::selectedTextRange), (TextRange{0, 2}));
    EXPECT_EQ(ax_->stringAttribute(field, AXAttribute::selectedText), "草稿");
    ASSERT_EQ(ax_->setString(field, AXAttribute::selectedText, candidate), WriteResult::written);
    EXPECT_EQ(app->waitForReport(candidate, 3s), candidate);

    // Insert at a caret placed after the emoji: 4 UTF-16 units, 3 code points.
    ASSERT_TRUE(ax_->setRange(field, AXAttribute::selectedTextRange, {4, 0}));
    EXPECT_EQ(ax_->rangeAttribute(field, AXAttribute::selectedTextRange), (TextRange{4, 0}));
    ASSERT_EQ(ax_->setString(field, AXAttribute::selectedText, "世界🌏"), WriteResult::written);
    const std::string expected = "你好🙂世界🌏 world";
    EXPECT_EQ(app->waitForReport(expected, 3s), expected);
    EXPECT_EQ(value(field), expected);

    // The whole value, as the fallback write does it.
    ASSERT_EQ(ax_->setString(field, AXAttribute::value, "全部替换 ✓"), WriteResult::written);
    EXPECT_EQ(app->waitForReport("全部替换 ✓", 3s), "全部替换 ✓");
    ASSERT_TRUE(ax_->setRange(field, AXAttribute::selectedTextRange, {utf16Length("全部替换 ✓"), 0}));
  }
}

TEST_F(AccessibilityDesktopTest, AnApplicationThatExposesNothingGetsOneNotice) {
  // NO_AT_BRIDGE keeps GTK off the accessibility bus, like an application started before
  // accessibility was switched on.
  const auto hidden = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"}, {"NO_AT_BRIDGE=1"});
  ASSERT_TRUE(waitUntil([&] { return hidden->report().has_value(); }, kStartTimeout));
  EXPECT_FALSE(ax_->applicationElement(hidden->pid()));
  const auto notice = ax_->takeApplicationNotice(hidden->pid());
  ASSERT_TRUE(notice);
  EXPECT_NE(notice->find("gtk_fixture"), std::string::npos) << *notice;
  EXPECT_EQ(notice->find("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), std::string::npos) << "not a Qt 5 program";
  EXPECT_FALSE(ax_->takeApplicationNotice(hidden->pid())) << "once per application";

  // A Qt 5 program without a session bus never looks for the accessibility bus: the notice
  // says what to set.
  if (std::system("command -v featherpad >/dev/null") == 0) {
    // Through sh, which takes the fixture's "--report FILE" as its own $0 and $1.
    const auto qt5 =
        launch("/bin/sh", {"-c", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent exec featherpad"});
    ASSERT_TRUE(waitUntil(
        [&] {
          return testing::xdotool({"search", "--onlyvisible", "--pid", std::to_string(qt5->pid())});
        },
        kStartTimeout));
    const auto qt5Notice = ax_->takeApplicationNotice(qt5->pid());
    ASSERT_TRUE(qt5Notice);
    EXPECT_NE(qt5Notice->find("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"), std::string::npos) << *qt5Notice;
  }

  const auto visible = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"});
  ASSERT_TRUE(waitForFocus(*visible, "AXTextField"));
  EXPECT_FALSE(ax_->takeApplicationNotice(visible->pid()));
}

// A chat page whose title reports the textarea's value and caret, so the result of a write is
// witnessed through the X server rather than through the accessibility bus.
constexpr const char* kChatPage = R"(<!doctype html>
<html lang="zh"><head><meta charset="utf-8"><title>Wrenfold chat</title></head>
<body>
<h1>团队聊天</h1>
<div role="log">
<p>王小明：明天的会议改到下午三点。</p>
<p>李华：好的，我会准备 quarterly report。</p>
</div>
<textarea id="reply">草稿 draft</textarea>
<script>
const reply = document.getElementById('reply');
reply.focus();
reply.setSelectionRange(reply.value.length, reply.value.length);
setInterval(() => { document.title = 'value=' + reply.value + '|caret=' + reply.selectionStart; }, 100);
</script>
</body></html>
)";

// Switches a flag of org.a11y.Status the way a settings panel or a screen reader would.
void setStatusFlag(const char* property, bool value) {
  const std::string command = std::string(
                                  "gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus "
                                  "--method org.freedesktop.DBus.Properties.Set org.a11y.Status ") +
                              property + (value ? " '<true>'" : " '<false>'") + " >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The title of a program's window as the X server holds it: the page's own witness, which does
// not go through the accessibility bus.
std::string windowTitle(pid_t pid) {
  std::string title = testing::run({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                                    std::to_string(pid), "--name", ".", "getwindowname"})
                          .output;
  return title.substr(0, title.find('\n'));
}

// LibreOffice Writer marks its view focused as well as the paragraph holding the caret, and the
// paragraph sits in a document that manages its descendants. Before the caret has moved there is
// no focus event to go by: the field is found inside that document, and its text read.
TEST_F(AccessibilityDesktopTest, WritersParagraphIsFoundInsideItsDocumentBeforeTheCaretMoves) {
  if (testing::run({"sh", "-c", "command -v lowriter"}).status != 0) {
    GTEST_SKIP() << "LibreOffice Writer is not installed (Debian package libreoffice-writer)";
  }
  const std::string paragraph = "第一段：会议改到周五下午三点，请确认。draft v2";
  const auto file = dir_.path() / "writer-focus.txt";
  std::ofstream(file) << paragraph << "\n";
  const testing::Process writer(
      {"lowriter", "-env:UserInstallation=file://" + (dir_.path() / "profile").string(), "--norestore",
       "--nologo", file.string()},
      {}, true);
  pid_t pid = 0;
  ASSERT_TRUE(waitUntil(
      [&] {
        pid = std::atoi(
            testing::run({"xdotool", "search", "--onlyvisible", "--name", "writer-focus", "getwindowpid"})
                .output.c_str());
        return pid > 0;
      },
      60s));
  std::optional<std::string> role;
  std::optional<std::string> text;
  static_cast<void>(waitUntil(
      [&] {
        // A new back-end each time: one that heard the window open would go by its focus events.
        ax_ = std::make_unique<LinuxAccessibility>(std::make_shared<LinuxWorkspace>(), options());
        const auto application = ax_->applicationElement(pid);
        const auto focused =
            application ? ax_->elementAttribute(*application, AXAttribute::focusedUIElement) : std::nullopt;
        role = focused ? ax_->stringAttribute(*focused, AXAttribute::role) : std::nullopt;
        text = focused ? value(*focused) : std::nullopt;
        return role == "AXParagraph";
      },
      60s));
  EXPECT_EQ(role, "AXParagraph");
  EXPECT_EQ(text, paragraph);
}

class ChromiumDesktopTest : public AccessibilityDesktopTest {
 protected:
  void SetUp() override {
    AccessibilityDesktopTest::SetUp();
    if (IsSkipped()) {
      return;
    }
    if (::access(testing::kChromium, X_OK) != 0) {
      GTEST_SKIP() << "Chromium is not installed (Debian package chromium; see scripts/install-deps)";
    }
    page_ = dir_.path() / "chat.html";
    std::ofstream(page_) << kChatPage;
  }

  std::unique_ptr<testing::Process> startChromium(bool forceAccessibility) {
    auto browser = testing::startChromium(dir_.path(), "file://" + page_.string(), forceAccessibility);
    EXPECT_TRUE(browser->started());
    // The page's script runs once its title carries the witness.
    EXPECT_TRUE(waitUntil([&] { return windowTitle(browser->pid()).starts_with("value="); }, 30s))
        << windowTitle(browser->pid());
    return browser;
  }

  std::filesystem::path page_;
};

TEST_F(ChromiumDesktopTest, TheTextareaIsResolvedAndReadAndWritesAreLeftToThePaste) {
  const auto browser = startChromium(true);
  testing::FakeWorkspace workspace;
  workspace.setFrontmost(RunningApplication{browser->pid(), "chromium", "Chromium"});
  const FocusedTargetResolver resolver(*ax_, workspace);
  std::shared_ptr<const FocusedTarget> target;
  ASSERT_TRUE(waitUntil(
      [&] {
        auto resolved = resolver.resolve();
        if (resolved && (*resolved)->focusedRole == "AXTextArea") {
          target = *resolved;
        }
        return target != nullptr;
      },
      kStartTimeout));
  EXPECT_TRUE(target->canWriteAX);
  EXPECT_TRUE(target->inputFrame.has_value());
  EXPECT_EQ(target->selectedTextRange, (TextRange{utf16Length("草稿 draft"), 0}));

  const SystemClock clock;
  const auto snapshot = AccessibilityReader(*ax_, clock).read(*target);
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->focusedText, "草稿 draft");
  EXPECT_NE(snapshot->visibleText.find("王小明：明天的会议改到下午三点。"), std::string::npos)
      << snapshot->visibleText;
  EXPECT_NE(snapshot->visibleText.find("李华：好的，我会准备 quarterly report。"), std::string::npos);
  EXPECT_EQ(snapshot->visibleText.find("\xEF\xBF\xBC"), std::string::npos)
      << "no embedded-object marks (U+FFFC)";
  EXPECT_DOUBLE_EQ(snapshot->confidence, 0.76);

  // Chromium offers no editable-text interface on its fields: the write is refused and the
  // candidate goes through the paste (the browser journeys run that against the real clipboard).
  EXPECT_EQ(ax_->setString(*target->focusedElement, AXAttribute::selectedText, "插入"), WriteResult::refused);
  EXPECT_EQ(windowTitle(browser->pid()),
            "value=草稿 draft|caret=" + std::to_string(utf16Length("草稿 draft")) + " - Chromium");
}

TEST_F(ChromiumDesktopTest, AChromiumShowingNoPageIsToldAboutAScreenReaderAndNamedOnce) {
  setStatusFlag("ScreenReaderEnabled", false);
  const auto browser = startChromium(false);
  const AccessibilityBusStatus status;
  ASSERT_FALSE(status.isScreenReaderAnnounced());

  // Chromium lists its windows, but they hold no page: nothing focused to read.
  const auto application = ax_->applicationElement(browser->pid());
  EXPECT_TRUE(status.isScreenReaderAnnounced()) << "announced as a screen reader would";
  if (application) {
    EXPECT_FALSE(ax_->elementAttribute(*application, AXAttribute::focusedUIElement));
  }
  // This Chromium builds its tree only when started so: the user is told once, by name.
  const auto notice = ax_->takeApplicationNotice(browser->pid());
  ASSERT_TRUE(notice);
  EXPECT_NE(notice->find("chromium"), std::string::npos) << *notice;
  EXPECT_NE(notice->find("--force-renderer-accessibility"), std::string::npos) << *notice;
  EXPECT_FALSE(ax_->takeApplicationNotice(browser->pid()));
}

TEST_F(ChromiumDesktopTest, SwitchingAccessibilityOnNamesTheRunningApplicationsToRestart) {
  struct Restore {
    ~Restore() { setStatusFlag("IsEnabled", true); }
  } restore;
  // Known from the first answer on, then from the launcher's word when it changes.
  ASSERT_TRUE(ax_->isProcessTrusted());
  setStatusFlag("IsEnabled", false);
  ASSERT_TRUE(waitUntil([&] { return !ax_->isProcessTrusted(); }, 2s));
  // GTK exposes its tree whatever the bus said at its start, and so does Qt told to always
  // expose it; a GTK program kept off the bus and Chromium decided at their start.
  const auto hidden = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"}, {"NO_AT_BRIDGE=1"});
  const auto gtk = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "textview"});
  const auto qt = launch(WRENFOLD_QT_FIXTURE, {"--mode", "lineedit"});
  const auto browser = startChromium(false);
  ASSERT_TRUE(waitUntil([&] { return hidden->report() && gtk->report() && qt->report(); }, kStartTimeout));

  ax_->promptForTrust();
  EXPECT_TRUE(ax_->isProcessTrusted());
  static_cast<void>(waitUntil([] { return false; }, 1500ms));  // as the settings wait
  const auto notice = ax_->takeRestartNotice();
  ASSERT_TRUE(notice);
  const std::string names = lowered(*notice);
  for (const char* name : {"chromium", "fixture-entry"}) {
    EXPECT_NE(names.find(name), std::string::npos) << name << " in " << *notice;
  }
  for (const char* name : {"fixture-textview", "fixture-qt"}) {
    EXPECT_EQ(names.find(name), std::string::npos) << name << " in " << *notice;
  }
  EXPECT_FALSE(ax_->takeRestartNotice()) << "told once";
}

class HungApplicationTest : public AccessibilityDesktopTest {
 protected:
  LinuxAccessibility::Options options() const override {
    LinuxAccessibility::Options options;
    options.hangTimeout = 300ms;
    options.hungPause = 1500ms;
    options.writeTimeout = 400ms;
    return options;
  }
};

TEST_F(HungApplicationTest, AFrozenApplicationCostsOneTimeoutNotOnePerCall) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry", "--text", kDraft});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);

  app->pause();
  const int before = ax_->timedOutCalls();
  for (int i = 0; i < 30; ++i) {
    EXPECT_FALSE(value(focus->element).has_value());
    EXPECT_FALSE(ax_->stringAttribute(focus->element, AXAttribute::role).has_value());
  }
  // Sixty calls, and only the first waited for the timeout.
  EXPECT_EQ(ax_->timedOutCalls() - before, 1);

  app->resume();
  EXPECT_TRUE(waitUntil([&] { return value(focus->element) == kDraft; }, 5s));
}

// A program answering each call up to 800 ms late is slow, not hung: every read gets its text,
// and it is never left alone.
TEST_F(AccessibilityDesktopTest, ASlowApplicationKeepsBeingRead) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "sluggish", "--text", kDraft});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);
  ASSERT_EQ(::kill(app->pid(), SIGUSR2), 0);  // busy from now on
  static_cast<void>(waitUntil([] { return false; }, 100ms));
  const int before = ax_->timedOutCalls();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(value(focus->element), kDraft) << i;
    EXPECT_EQ(ax_->stringAttribute(focus->element, AXAttribute::role), "AXTextField") << i;
  }
  EXPECT_EQ(ax_->timedOutCalls(), before);
}

// The program answers the write after 600 ms, past the write deadline: the write is awaited once
// more and read back instead of being taken as refused, which would have had it pasted again.
TEST_F(HungApplicationTest, AWriteAnsweredAfterItsDeadlineIsAwaitedAndCountsOnce) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "slow", "--text", kDraft});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);
  ASSERT_TRUE(ax_->setRange(focus->element, AXAttribute::selectedTextRange, {utf16Length(kDraft), 0}));
  const std::string expected = std::string(kDraft) + "慢一点，OK。";
  EXPECT_EQ(ax_->setString(focus->element, AXAttribute::selectedText, "慢一点，OK。"), WriteResult::written);
  EXPECT_EQ(app->waitForReport(expected, 3s), expected);
}

}  // namespace
}  // namespace wrenfold
