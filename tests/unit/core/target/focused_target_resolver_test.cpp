#include "core/target/focused_target_resolver.h"

#include <gtest/gtest.h>

#include <string>

#include "fakes/fake_accessibility.h"
#include "fakes/fake_input_method.h"
#include "fakes/fake_workspace.h"

namespace wrenfold {
namespace {

using testing::FakeAccessibility;
using testing::FakeWorkspace;

constexpr std::int32_t kPid = 321;

class ResolverTest : public ::testing::Test {
 protected:
  ResolverTest() {
    app_ = ax_.addElement("AXApplication");
    window_ = ax_.addElement("AXWindow");
    ax_.set(window_, AXAttribute::title, std::string("Draft"));
    ax_.setFrame(window_, {100, 50}, {800, 600});
    field_ = ax_.addChild(window_, "AXTextField", "hello");
    ax_.set(field_, AXAttribute::selectedTextRange, TextRange{2, 1});
    ax_.setFrame(field_, {120, 80}, {300, 24});
    ax_.set(app_, AXAttribute::focusedUIElement, field_);
    ax_.set(app_, AXAttribute::focusedWindow, window_);
    ax_.setApplication(kPid, app_);
  }

  void frontmost(std::optional<std::string> bundle, std::optional<std::string> name = "Editor") {
    workspace_.addApplication({kPid, std::move(bundle), std::move(name)}, true);
  }

  FakeAccessibility ax_;
  FakeWorkspace workspace_;
  FocusedTargetResolver resolver_{ax_, workspace_};
  AccessibilityElement app_ = ax_.addElement();
  AccessibilityElement window_ = app_;
  AccessibilityElement field_ = app_;
};

TEST_F(ResolverTest, NoFrontmostApplicationIsTargetUnavailableAndAnUntrustedProcessAsksForAccess) {
  EXPECT_TRUE(resolver_.resolve().error().is(AssistantError::Kind::targetUnavailable));
  frontmost("org.example.editor");
  ax_.setTrusted(false);
  EXPECT_TRUE(resolver_.resolve().error().is(AssistantError::Kind::accessibilityNotTrusted));
  EXPECT_EQ(ax_.trustPrompts(), 1);
}

TEST_F(ResolverTest, SensitiveBundleIdentifiersAreRefusedCaseInsensitively) {
  struct Row {
    const char* bundle;
    const char* name;
    bool refused;
  };
  const Row rows[] = {
      {"com.MyBANK.mobile", "Notes", true},
      {"com.agilebits.1Password7", "1P", true},
      {"com.bitwarden.desktop", "Vault", true},
      {"org.keepassxc.PasswordSafe", "KP", true},
      {"io.crypto.Wallet", "W", true},
      {"com.shop.PaymentHub", "P", true},
      {"org.gnome.SecurityCenter", "S", true},
      {"org.gnome.TextEditor", "Bank statements", false},
      {"org.example.embankment", "Editor", true},
      // Linux password managers whose ids name no sensitive word.
      {"org.keepassxc.KeePassXC", "KeePassXC", true},
      {"org.gnome.seahorse.Application", "密码和密钥", true},
      {"org.gnome.World.Secrets", "Secrets", true},
      {"org.gnome.Nautilus", "Secrets", false},
  };
  for (const auto& row : rows) {
    FakeWorkspace workspace;
    workspace.addApplication({kPid, row.bundle, row.name}, true);
    const auto result = FocusedTargetResolver(ax_, workspace).resolve();
    EXPECT_EQ(!result, row.refused) << row.bundle;
    if (!result) {
      EXPECT_EQ(result.error(), Failure(AssistantError::unsafeTarget("敏感应用不允许自动读取或填入")));
    }
  }
}

TEST_F(ResolverTest, PasswordFieldsAreRefused) {
  frontmost("org.example.editor");
  for (const bool byRole : {true, false}) {
    ax_.set(field_, AXAttribute::role, std::string(byRole ? "AXSecureTextField" : "AXTextField"));
    ax_.set(field_, AXAttribute::protectedContent, !byRole);
    EXPECT_EQ(resolver_.resolve().error(), Failure(AssistantError::unsafeTarget("密码输入框不允许运行")));
  }
  // A password field only the input method knows (its hint); else its context and caret, on screen.
  ax_.set(field_, AXAttribute::role, std::string("AXTextField"));
  ax_.set(field_, AXAttribute::protectedContent, false);
  testing::FakeInputMethod im;
  const FocusedTargetResolver resolver(ax_, workspace_, &im);
  const Rect caret{310, 96, 0, 18};
  for (const bool password : {true, false}) {
    for (const bool onScreen : {true, false}) {
      im.context = InputContextState{};
      im.context->focused = true;
      im.context->refusesText = password;
      im.context->cursorRect = caret;
      im.context->cursorRectOnScreen = onScreen;
      const auto target = resolver.resolve();
      ASSERT_EQ(target.has_value(), !password);
      if (target) {
        EXPECT_EQ((*target)->inputContext, testing::FakeInputMethod::kTicket);
        EXPECT_EQ((*target)->caretFrame, onScreen ? std::optional(caret) : std::nullopt);
      }
    }
  }
}

TEST_F(ResolverTest, ResolvesEveryFieldOfAPlainTextField) {
  workspace_.addApplication({kPid, "org.example.editor", "Editor", 0x3c00005}, true);
  const auto result = resolver_.resolve();
  ASSERT_TRUE(result);
  const FocusedTarget& t = **result;
  EXPECT_EQ(t.processID, kPid);
  EXPECT_EQ(t.window, 0x3c00005u);  // keys go to this window only
  EXPECT_EQ(t.appBundleID, "org.example.editor");
  EXPECT_EQ(t.appName, "Editor");
  EXPECT_EQ(t.windowTitle, "Draft");
  ASSERT_TRUE(t.focusedElement);
  EXPECT_EQ(*t.focusedElement, field_);
  EXPECT_EQ(t.focusedRole, "AXTextField");
  EXPECT_EQ(t.selectedTextRange, (TextRange{2, 1}));
  EXPECT_EQ(t.inputFrame, (Rect{120, 80, 300, 24}));
  EXPECT_EQ(t.screenFrame, (Rect{100, 50, 800, 600}));
  EXPECT_TRUE(t.canReadAX);
  EXPECT_TRUE(t.canWriteAX);
}

TEST_F(ResolverTest, OnlyPlainTextRolesAreWritable) {
  frontmost("org.example.editor");
  ax_.set(field_, AXAttribute::protectedContent, std::string("true"));  // mistyped: counts as false
  const std::pair<const char*, bool> rows[] = {
      {"AXTextField", true},   {"AXTextArea", true},    {"AXTextView", true},  {"AXWebArea", false},
      {"AXStaticText", false}, {"AXTextFieldX", false}, {"AXTerminal", false},
  };
  for (const auto& [role, writable] : rows) {
    ax_.set(field_, AXAttribute::role, std::string(role));
    const auto result = resolver_.resolve();
    ASSERT_TRUE(result) << role;
    EXPECT_EQ((*result)->canWriteAX, writable) << role;
    EXPECT_EQ((*result)->isTerminal, std::string_view(role) == "AXTerminal") << role;
  }
}

TEST_F(ResolverTest, MissingPiecesLeaveFieldsAbsentWithoutFailing) {
  frontmost("org.example.editor");
  ax_.unset(window_, AXAttribute::size);
  ax_.unset(app_, AXAttribute::focusedUIElement);
  const auto result = resolver_.resolve();
  ASSERT_TRUE(result);
  EXPECT_FALSE((*result)->screenFrame);
  EXPECT_EQ((*result)->windowTitle, "Draft");
  EXPECT_FALSE((*result)->focusedElement);
  EXPECT_FALSE((*result)->focusedRole);
  EXPECT_FALSE((*result)->inputFrame);
  EXPECT_FALSE((*result)->canWriteAX);
  workspace_.addApplication({999, "org.example.other", "Other"}, true);  // not on the bus at all
  EXPECT_FALSE((*resolver_.resolve())->windowTitle);
}

TEST_F(ResolverTest, NamesFallBackToIdentifierThenUnknown) {
  const struct {
    std::optional<std::string> bundle, name;
    const char* expectedID;
    const char* expectedName;
  } rows[] = {
      {std::nullopt, std::nullopt, "unknown", "Unknown App"},
      {"org.example.editor", std::nullopt, "org.example.editor", "org.example.editor"},
      {"", "", "unknown", "Unknown App"},
      {std::nullopt, "Editor", "unknown", "Editor"},
  };
  for (const auto& row : rows) {
    FakeWorkspace workspace;
    workspace.addApplication({kPid, row.bundle, row.name}, true);
    const auto result = FocusedTargetResolver(ax_, workspace).resolve();
    ASSERT_TRUE(result);
    EXPECT_EQ((*result)->appBundleID, row.expectedID);
    EXPECT_EQ((*result)->appName, row.expectedName);
  }
}

}  // namespace
}  // namespace wrenfold
