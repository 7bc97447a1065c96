#pragma once

#include <memory>
#include <string_view>

#include "core/platform/accessibility.h"
#include "core/platform/input_method.h"
#include "core/platform/workspace.h"
#include "core/records/assistant_error.h"
#include "core/support/failure.h"
#include "core/target/focused_target.h"

namespace wrenfold {

// Whether an application id looks like a password manager, a bank or a wallet (case-insensitive
// words in the id; the display name is never tested). Such applications are never read.
[[nodiscard]] bool isSensitiveApplicationID(std::string_view applicationID);

// Finds the frontmost application and its focused element at the start of a cycle, and
// refuses to work without accessibility access, in sensitive applications and in password
// fields. Wrenfold's own windows are never the target: while one is in front, the program
// whose window is next below is resolved instead. Main thread only.
class FocusedTargetResolver {
 public:
  // `inputMethod` may be null: no input-method route.
  FocusedTargetResolver(Accessibility& accessibility, Workspace& workspace,
                        InputMethod* inputMethod = nullptr)
      : ax_(accessibility), workspace_(workspace), inputMethod_(inputMethod) {}

  // Fails with accessibilityNotTrusted (after asking for access), targetUnavailable or
  // unsafeTarget(reason).
  [[nodiscard]] Result<std::shared_ptr<const FocusedTarget>> resolve() const {
    return resolve(frontmostApplication());
  }
  // The same for `app`, found earlier by frontmostApplication().
  [[nodiscard]] Result<std::shared_ptr<const FocusedTarget>> resolve(
      std::optional<RunningApplication> app) const;
  // The application a cycle starting now targets, as the window system tells it: asks no
  // program anything, so it never waits on a busy one.
  [[nodiscard]] std::optional<RunningApplication> frontmostApplication() const;

 private:
  Accessibility& ax_;
  Workspace& workspace_;
  InputMethod* inputMethod_;
};

}  // namespace wrenfold
