// The AT-SPI back-end against real GTK 3 and Qt 6 applications in a private desktop
// (scripts/desktop-session). Each fixture reports its own field text to a file, the witness
// that does not go through the accessibility bus.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
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
#include "platform/linux/linux_accessibility.h"
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
    ax_ = std::make_unique<LinuxAccessibility>(options());
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

TEST_F(AccessibilityDesktopTest, AccessibilityCountsAsTrustedInTheSession) {
  EXPECT_TRUE(ax_->isProcessTrusted());
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

TEST_F(AccessibilityDesktopTest, TheCoreResolverRefusesPasswordFieldsAndWritesOnlyPlainInputs) {
  testing::FakeWorkspace workspace;
  const FocusedTargetResolver resolver(*ax_, workspace);

  const auto entry = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"});
  ASSERT_TRUE(waitForFocus(*entry, "AXTextField"));
  workspace.setFrontmost(RunningApplication{entry->pid(), "wrenfold-fixture-entry", std::nullopt});
  const auto target = resolver.resolve();
  ASSERT_TRUE(target) << target.error().localizedDescription();
  EXPECT_TRUE((*target)->canWriteAX);
  EXPECT_EQ((*target)->focusedRole, "AXTextField");
  EXPECT_EQ((*target)->windowTitle, "Wrenfold fixture: entry");
  EXPECT_TRUE((*target)->inputFrame.has_value());
  EXPECT_TRUE((*target)->screenFrame.has_value());

  const auto login = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "login"});
  ASSERT_TRUE(waitForFocus(*login, "AXSecureTextField"));
  workspace.setFrontmost(RunningApplication{login->pid(), "org.wrenfold.fixture.login", std::nullopt});
  const auto refused = resolver.resolve();
  ASSERT_FALSE(refused);
  ASSERT_NE(refused.error().assistantError(), nullptr);
  EXPECT_EQ(refused.error().localizedDescription(), "当前输入目标被保护：密码输入框不允许运行");
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

  // The core's reader over this back-end: bounded to 500 elements, so the last rows stay out.
  testing::FakeWorkspace workspace;
  workspace.setFrontmost(RunningApplication{app->pid(), "org.wrenfold.fixture.labels", std::nullopt});
  const auto target = FocusedTargetResolver(*ax_, workspace).resolve();
  ASSERT_TRUE(target);
  const SystemClock clock;
  const auto snapshot = AccessibilityReader(*ax_, clock).read(**target);
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->focusedText, kDraft);
  // GTK selects an entry's whole text when it takes focus.
  EXPECT_EQ(snapshot->selectedText, kDraft);
  EXPECT_DOUBLE_EQ(snapshot->confidence, 0.92);
  EXPECT_TRUE(snapshot->visibleText.starts_with("收件人：王小明\n" + kDraft + "\n第 1 行 line 1\n"))
      << snapshot->visibleText.substr(0, 200);
  EXPECT_EQ(snapshot->visibleText.find("第 600 行"), std::string::npos);
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
    ASSERT_TRUE(ax_->setString(field, AXAttribute::selectedText, candidate));
    EXPECT_EQ(app->waitForReport(candidate, 3s), candidate);

    // Insert at a caret placed after the emoji: 4 UTF-16 units, 3 code points.
    ASSERT_TRUE(ax_->setRange(field, AXAttribute::selectedTextRange, {4, 0}));
    EXPECT_EQ(ax_->rangeAttribute(field, AXAttribute::selectedTextRange), (TextRange{4, 0}));
    ASSERT_TRUE(ax_->setString(field, AXAttribute::selectedText, "世界🌏"));
    const std::string expected = "你好🙂世界🌏 world";
    EXPECT_EQ(app->waitForReport(expected, 3s), expected);
    EXPECT_EQ(value(field), expected);

    // The whole value, as the fallback write does it.
    ASSERT_TRUE(ax_->setString(field, AXAttribute::value, "全部替换 ✓"));
    EXPECT_EQ(app->waitForReport("全部替换 ✓", 3s), "全部替换 ✓");
    ASSERT_TRUE(ax_->setRange(field, AXAttribute::selectedTextRange, {utf16Length("全部替换 ✓"), 0}));
  }
}

TEST_F(AccessibilityDesktopTest, AWriteTheFieldIgnoresIsAFailureAndChangesNothing) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "guarded", "--text", kDraft});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);
  EXPECT_FALSE(ax_->setString(focus->element, AXAttribute::selectedText, "插入"));
  EXPECT_FALSE(ax_->setString(focus->element, AXAttribute::value, "替换"));
  EXPECT_EQ(value(focus->element), kDraft);
  EXPECT_EQ(app->report(), kDraft);
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
  EXPECT_FALSE(ax_->takeApplicationNotice(hidden->pid())) << "once per application";

  const auto visible = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry"});
  ASSERT_TRUE(waitForFocus(*visible, "AXTextField"));
  EXPECT_FALSE(ax_->takeApplicationNotice(visible->pid()));
}

class HungApplicationTest : public AccessibilityDesktopTest {
 protected:
  LinuxAccessibility::Options options() const override {
    LinuxAccessibility::Options options;
    options.callTimeout = 300ms;
    options.hungPause = 1500ms;
    return options;
  }
};

TEST_F(HungApplicationTest, AFrozenApplicationCostsOneTimeoutNotOnePerCall) {
  const auto app = launch(WRENFOLD_GTK_FIXTURE, {"--mode", "entry", "--text", kDraft});
  const auto focus = waitForFocus(*app, "AXTextField");
  ASSERT_TRUE(focus);

  app->pause();
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; ++i) {
    EXPECT_FALSE(value(focus->element).has_value());
    EXPECT_FALSE(ax_->stringAttribute(focus->element, AXAttribute::role).has_value());
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // Sixty calls that each waited for the timeout would take 18 s.
  EXPECT_LT(elapsed, 3s);

  app->resume();
  EXPECT_TRUE(waitUntil([&] { return value(focus->element) == kDraft; }, 5s));
}

}  // namespace
}  // namespace wrenfold
