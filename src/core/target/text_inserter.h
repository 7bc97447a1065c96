#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string_view>

#include "core/platform/accessibility.h"
#include "core/platform/key_events.h"
#include "core/platform/main_queue.h"
#include "core/platform/pasteboard.h"
#include "core/platform/workspace.h"
#include "core/target/focused_target.h"

namespace wrenfold {

enum class InsertResult {
  inserted,  // written into the field, or a paste was dispatched into the target
  copied,    // only placed on the clipboard
};

// "inserted" or "copied", as the usage event records it.
[[nodiscard]] std::string_view insertResultName(InsertResult result);

// Puts a chosen candidate into the field the cycle started from: an accessibility write at
// the selection, else a synthetic paste with the clipboard put back afterwards, else the text
// is only copied. Main thread only; the ports must outlive the delayed paste steps.
class TextInserter {
 public:
  // After activation, before focus is restored and the paste chord is posted.
  static constexpr std::chrono::milliseconds kPasteDelay{50};
  // After the paste chord, before the user's clipboard is put back.
  static constexpr std::chrono::milliseconds kRestoreDelay{500};
  // While the user still holds a modifier the chord would combine with it: it is asked again
  // this often, this many times (two seconds in all).
  static constexpr std::chrono::milliseconds kKeyRetryInterval{50};
  static constexpr int kMaxKeyRetries = 40;

  TextInserter(Accessibility& accessibility, Workspace& workspace, Pasteboard& pasteboard, KeyEvents& keys,
               MainQueue& mainQueue);

  // Never fails: every outcome is one of the two results.
  [[nodiscard]] InsertResult insert(std::string_view text,
                                    const std::shared_ptr<const FocusedTarget>& target);

 private:
  struct PendingRestore;

  [[nodiscard]] bool insertAtSelection(std::string_view text, const AccessibilityElement& element,
                                       std::optional<TextRange> fallbackRange);
  [[nodiscard]] bool replaceInValue(std::string_view text, const AccessibilityElement& element,
                                    TextRange range);
  [[nodiscard]] bool paste(std::string_view text, const std::shared_ptr<const FocusedTarget>& target);
  [[nodiscard]] bool activate(const FocusedTarget& target);
  void scheduleKeystroke(const std::shared_ptr<const FocusedTarget>& target,
                         std::optional<TextRange> selection, std::shared_ptr<PendingRestore> pending);
  static void postPasteChord(KeyEvents& keys, MainQueue& queue, Pasteboard& pasteboard,
                             std::shared_ptr<PendingRestore> pending, int retriesLeft);

  Accessibility& ax_;
  Workspace& workspace_;
  Pasteboard& pasteboard_;
  KeyEvents& keys_;
  MainQueue& mainQueue_;
  // The clipboard restore still to come, so a paste started before it can reuse the user's
  // clipboard instead of capturing the previous candidate.
  std::shared_ptr<PendingRestore> pending_;
};

}  // namespace wrenfold
