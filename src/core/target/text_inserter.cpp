#include "core/target/text_inserter.h"

#include <cstdint>
#include <string>
#include <utility>

#include "core/target/ax_helper.h"
#include "core/target/pasteboard_snapshot.h"
#include "core/text/text.h"

namespace wrenfold {

// The user's clipboard waiting to be put back once the candidate has been pasted.
struct TextInserter::PendingRestore {
  PasteboardSnapshot snapshot;
  std::string candidate;
  std::optional<std::int64_t> changeCount;  // just after the candidate was written
  bool settled = false;                     // restored, skipped or handed to a later paste

  // True while the clipboard still holds exactly what the inserter put there.
  [[nodiscard]] bool untouched(Pasteboard& pasteboard) const {
    if (changeCount) {
      return pasteboard.changeCount() == changeCount;
    }
    return pasteboard.string() == candidate;
  }
};

std::string_view insertResultName(InsertResult result) {
  return result == InsertResult::inserted ? "inserted" : "copied";
}

TextInserter::TextInserter(Accessibility& accessibility, Workspace& workspace, Pasteboard& pasteboard,
                           KeyEvents& keys, MainQueue& mainQueue)
    : ax_(accessibility),
      workspace_(workspace),
      pasteboard_(pasteboard),
      keys_(keys),
      mainQueue_(mainQueue) {}

InsertResult TextInserter::insert(std::string_view text, const std::shared_ptr<const FocusedTarget>& target) {
  if (target->canWriteAX && target->focusedElement &&
      insertAtSelection(text, *target->focusedElement, target->selectedTextRange)) {
    return InsertResult::inserted;
  }
  if (paste(text, target)) {
    return InsertResult::inserted;
  }
  pasteboard_.clearContents();
  static_cast<void>(pasteboard_.setString(text, ClipboardHistory::keep));
  return InsertResult::copied;
}

bool TextInserter::insertAtSelection(std::string_view text, const AccessibilityElement& element,
                                     std::optional<TextRange> fallbackRange) {
  const AXHelper helper(ax_);
  const auto role = helper.copyString(element, AXAttribute::role);
  if (!role || !isPlainTextInputRole(*role)) {
    return false;
  }
  auto range = helper.rangeAttribute(element, AXAttribute::selectedTextRange);
  if (!range) {
    range = fallbackRange;
  }
  if (!range || range->location < 0 || range->length < 0) {
    return false;
  }
  if (ax_.setString(element, AXAttribute::selectedText, text)) {
    const auto caret = range->location + static_cast<std::int64_t>(text::utf16Length(text));
    static_cast<void>(ax_.setRange(element, AXAttribute::selectedTextRange, {caret, 0}));
    return true;
  }
  return replaceInValue(text, element, *range);
}

bool TextInserter::replaceInValue(std::string_view text, const AccessibilityElement& element,
                                  TextRange range) {
  auto value = AXHelper(ax_).copyString(element, AXAttribute::value);
  if (!value) {
    return false;
  }
  const auto end = range.location + range.length;
  if (end > static_cast<std::int64_t>(text::utf16Length(*value))) {
    return false;
  }
  // A range edge inside a surrogate pair would split a character: refuse rather than corrupt.
  const auto from = text::byteOffsetOfUtf16(*value, static_cast<std::size_t>(range.location));
  const auto to = text::byteOffsetOfUtf16(*value, static_cast<std::size_t>(end));
  if (!from || !to) {
    return false;
  }
  value->replace(*from, *to - *from, text);
  if (!ax_.setString(element, AXAttribute::value, *value)) {
    return false;
  }
  const auto caret = range.location + static_cast<std::int64_t>(text::utf16Length(text));
  static_cast<void>(ax_.setRange(element, AXAttribute::selectedTextRange, {caret, 0}));
  return true;
}

bool TextInserter::activate(const FocusedTarget& target) {
  const RunningApplication* chosen = nullptr;
  const auto running = workspace_.runningApplications();
  for (const auto& app : running) {
    if (app.bundleIdentifier != target.appBundleID) {
      continue;
    }
    // Several instances may share an id: the one the cycle started from is the right one.
    if (app.processID == target.processID) {
      chosen = &app;
      break;
    }
    if (chosen == nullptr) {
      chosen = &app;
    }
  }
  return chosen != nullptr && workspace_.activate(chosen->processID);
}

bool TextInserter::paste(std::string_view text, const std::shared_ptr<const FocusedTarget>& target) {
  if (!activate(*target)) {
    return false;
  }
  std::optional<TextRange> selection;
  if (target->focusedElement) {
    selection = AXHelper(ax_).rangeAttribute(*target->focusedElement, AXAttribute::selectedTextRange);
  }
  if (!selection) {
    selection = target->selectedTextRange;
  }

  auto pending = std::make_shared<PendingRestore>();
  if (pending_ && !pending_->settled && pending_->untouched(pasteboard_)) {
    // The clipboard still holds the previous candidate: keep the user's own content instead.
    pending->snapshot = std::move(pending_->snapshot);
    pending_->settled = true;
  } else {
    pending->snapshot = PasteboardSnapshot::capture(pasteboard_);
  }
  pasteboard_.clearContents();
  if (!pasteboard_.setString(text, ClipboardHistory::skip)) {
    pending->snapshot.restore(pasteboard_);
    return false;
  }
  pending->candidate = std::string(text);
  pending->changeCount = pasteboard_.changeCount();
  pending_ = pending;
  scheduleKeystroke(target, selection, std::move(pending));
  return true;
}

void TextInserter::scheduleKeystroke(const std::shared_ptr<const FocusedTarget>& target,
                                     std::optional<TextRange> selection,
                                     std::shared_ptr<PendingRestore> pending) {
  // The closures hold the ports, never the inserter: they run even if it is gone.
  mainQueue_.postAfter(kPasteDelay, [&ax = ax_, &keys = keys_, &pasteboard = pasteboard_, &queue = mainQueue_,
                                     target, selection, pending = std::move(pending)] {
    if (target->focusedElement) {
      static_cast<void>(ax.setBool(*target->focusedElement, AXAttribute::focused, true));
      if (selection) {
        static_cast<void>(ax.setRange(*target->focusedElement, AXAttribute::selectedTextRange, *selection));
      }
    }
    postPasteChord(keys, queue, pasteboard, pending, kMaxKeyRetries);
  });
}

void TextInserter::postPasteChord(KeyEvents& keys, MainQueue& queue, Pasteboard& pasteboard,
                                  std::shared_ptr<PendingRestore> pending, int retriesLeft) {
  // Whether the target acted on the keystroke is not knowable from here; the paste is not checked.
  const auto result = keys.post(KeyChord::paste());
  if (result == KeyPostResult::retry && retriesLeft > 0) {
    queue.postAfter(kKeyRetryInterval,
                    [&keys, &queue, &pasteboard, pending = std::move(pending), retriesLeft] {
                      postPasteChord(keys, queue, pasteboard, pending, retriesLeft - 1);
                    });
    return;
  }
  if (result != KeyPostResult::posted) {
    // No paste happened: putting the user's clipboard back would lose the candidate, so it stays
    // on the clipboard to be pasted by hand, as when the text is only copied.
    pending->settled = true;
    pending->snapshot = {};
    return;
  }
  queue.postAfter(kRestoreDelay, [&pasteboard, pending = std::move(pending)] {
    if (pending->settled) {
      return;
    }
    pending->settled = true;
    // Someone copied something newer in the meantime: leave it alone.
    if (pending->untouched(pasteboard)) {
      pending->snapshot.restore(pasteboard);
    }
    pending->snapshot = {};  // the user's clipboard is not kept in memory longer than needed
  });
}

}  // namespace wrenfold
