#include "core/target/focused_target_resolver.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/records/assistant_error.h"
#include "core/target/ax_helper.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::array<std::string_view, 7> kSensitiveBundleWords{"password", "1password", "bitwarden", "bank",
                                                                "wallet",   "payment",   "security"};
// Linux password managers whose application ids carry none of the words above (KeePassXC,
// GNOME Seahorse, GNOME Secrets).
constexpr std::array<std::string_view, 3> kLinuxPasswordManagerWords{"keepass", "seahorse",
                                                                     "org.gnome.world.secrets"};

constexpr std::string_view kPasswordFieldReason = "密码输入框不允许运行";

bool isSecureTextField(const AXHelper& helper, const AccessibilityElement& element) {
  if (helper.copyString(element, AXAttribute::role) == "AXSecureTextField") {
    return true;
  }
  return helper.copyBool(element, AXAttribute::protectedContent) == true;
}

// Only the bundle identifier is tested, never the display name.
std::optional<std::string> unsafeReason(const AXHelper& helper, const RunningApplication& app,
                                        const std::optional<AccessibilityElement>& focused) {
  if (isSensitiveApplicationID(app.bundleIdentifier.value_or(""))) {
    return "敏感应用不允许自动读取或填入";
  }
  if (focused && isSecureTextField(helper, *focused)) {
    return std::string(kPasswordFieldReason);
  }
  return std::nullopt;
}

// An empty name or id counts as none; names come from other programs, so repair them.
std::optional<std::string> present(const std::optional<std::string>& value) {
  if (!value || value->empty()) {
    return std::nullopt;
  }
  return text::repairUtf8(*value);
}

std::string displayName(const RunningApplication& app) {
  if (auto name = present(app.localizedName)) {
    return *name;
  }
  return present(app.bundleIdentifier).value_or("Unknown App");
}

}  // namespace

bool isSensitiveApplicationID(std::string_view applicationID) {
  const std::string id = text::lowercased(applicationID);
  for (const auto& words : {std::span<const std::string_view>(kSensitiveBundleWords),
                            std::span<const std::string_view>(kLinuxPasswordManagerWords)}) {
    for (const auto word : words) {
      if (id.find(word) != std::string::npos) {
        return true;
      }
    }
  }
  return false;
}

std::optional<RunningApplication> FocusedTargetResolver::frontmostApplication() const {
  auto app = workspace_.frontmostApplication();
  if (app && app->processID == workspace_.ownProcessID()) {
    // Our own panel or settings window is in front: the user means the program they were in.
    app = workspace_.topmostOtherApplication();
  }
  return app;
}

Result<std::shared_ptr<const FocusedTarget>> FocusedTargetResolver::resolve(
    std::optional<RunningApplication> app) const {
  if (!ax_.isProcessTrusted()) {
    ax_.promptForTrust();
    return fail(AssistantError::accessibilityNotTrusted());
  }
  if (!app) {
    return fail(AssistantError::targetUnavailable());
  }
  const AXHelper helper(ax_);
  const auto appElement = ax_.applicationElement(app->processID);
  std::optional<AccessibilityElement> focused;
  std::optional<AccessibilityElement> window;
  if (appElement) {
    focused = helper.elementAttribute(*appElement, AXAttribute::focusedUIElement);
    window = helper.elementAttribute(*appElement, AXAttribute::focusedWindow);
  }

  auto target = std::make_shared<FocusedTarget>();
  if (window) {
    target->windowTitle = helper.copyString(*window, AXAttribute::title);
  }
  if (focused) {
    target->focusedRole = helper.copyString(*focused, AXAttribute::role);
    target->selectedTextRange = helper.rangeAttribute(*focused, AXAttribute::selectedTextRange);
    target->inputFrame = helper.rectAttribute(*focused);
    target->caretFrame = ax_.caretBounds(*focused);
  }
  if (window) {
    target->screenFrame = helper.rectAttribute(*window);
  }
  target->framesOnScreen = ax_.framesAreOnScreen();
  target->canWriteAX = focused && target->focusedRole && isPlainTextInputRole(*target->focusedRole) &&
                       !isSecureTextField(helper, *focused);

  if (auto reason = unsafeReason(helper, *app, focused)) {
    return fail(AssistantError::unsafeTarget(std::move(*reason)));
  }
  if (inputMethod_) {
    // Asked now, while the user's field still has the keyboard, before our panel can take it.
    target->inputContext = inputMethod_->rememberFocused();
    if (target->inputContext) {
      const auto state = inputMethod_->state(*target->inputContext);
      if (state && state->refusesText) {
        return fail(AssistantError::unsafeTarget(std::string(kPasswordFieldReason)));
      }
      // Where accessibility tells no caret (KTextEditor) the input method often does; only
      // screen coordinates (X11) can place the panel, and only where our frames are on screen too.
      if (!target->caretFrame && target->framesOnScreen && state && state->cursorRectOnScreen) {
        target->caretFrame = state->cursorRect;
      }
    }
  }
  target->processID = app->processID;
  target->window = app->window;
  target->isTerminal = target->focusedRole == "AXTerminal";
  target->appBundleID = present(app->bundleIdentifier).value_or("unknown");
  target->appName = displayName(*app);
  target->focusedElement = std::move(focused);
  target->canReadAX = true;
  return std::shared_ptr<const FocusedTarget>(std::move(target));
}

}  // namespace wrenfold
