#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/accessibility.h"
#include "core/platform/input_method.h"
#include "core/platform/key_events.h"
#include "core/platform/main_queue.h"
#include "core/platform/pasteboard.h"
#include "core/platform/workspace.h"
#include "core/target/focused_target.h"
#include "core/target/insertion_check.h"

namespace wrenfold {

enum class InsertResult {
  inserted,  // the field shows the text: written and read back, or pasted and seen arriving
  pasted,    // pasted into a program whose field cannot be read back: unconfirmed
  copied,    // not seen in the field: the text is on the clipboard, to be pasted by hand
};

// "inserted", "pasted" or "copied", as the usage event records it.
[[nodiscard]] std::string_view insertResultName(InsertResult result);

// The text as a field of AX role `role` can hold it: a single-line field ("AXTextField") gets
// each line break as a space.
[[nodiscard]] std::string fitToField(std::string_view text, std::optional<std::string_view> role);

// One strategy tried and how it ended, for the log: never the text.
struct InsertAttempt {
  std::string strategy;  // "input method", "accessibility", "paste", "copy"
  std::string outcome;   // "written", "refused", "confirmed", "not seen", ...
  bool operator==(const InsertAttempt&) const = default;
};

struct InsertOutcome {
  InsertResult result = InsertResult::copied;
  std::vector<InsertAttempt> attempts;  // in the order tried
};

// Puts a chosen candidate into the field the cycle started from: committed through the input
// method into the context remembered at the start, else an accessibility write at the
// selection, else a synthetic paste into the re-activated window, else the text is only copied. Every write
// is confirmed by reading the field back where the program exposes it; a paste that is not seen arriving
// leaves the candidate on the clipboard. Main thread only; the ports must outlive the delayed paste steps.
class TextInserter {
 public:
  using Completion = std::function<void(InsertOutcome)>;

  // While the target's window is asked to become active, whether it has is checked this often,
  // up to the limit; a window manager that only marks the window urgent never activates it.
  static constexpr std::chrono::milliseconds kActivationPoll{25};
  static constexpr std::chrono::milliseconds kActivationTimeout{1500};
  // After activation, until the field reports keyboard focus again (browsers hand the focus on
  // to the page some time after their window became active); past the limit the focus is asked
  // for once, and a field still without it a moment later is not pasted into: the text is only
  // copied.
  static constexpr std::chrono::milliseconds kFocusPoll{25};
  static constexpr std::chrono::milliseconds kFocusTimeout{1000};
  static constexpr std::chrono::milliseconds kFocusAskedWait{500};
  // Once the window is given back without an insertion, how long the field is watched for the
  // keyboard having gone to the program's menu bar instead.
  static constexpr std::chrono::milliseconds kMenuBarWatch{800};
  // After activation, before focus is restored and the paste chord is posted.
  static constexpr std::chrono::milliseconds kPasteDelay{50};
  // After the chord the field is read this often until the text shows, up to the limit
  // (browsers update their accessible text some time after the page changed); then the user's
  // clipboard is put back at once, as the target has taken the candidate. A field that cannot
  // be read is watched the same way for the program fetching the text from the clipboard where
  // the back-end can tell; else the clipboard comes back at the end of the window.
  static constexpr std::chrono::milliseconds kConfirmPoll{100};
  static constexpr std::chrono::milliseconds kConfirmTimeout{4000};
  // While the user still holds a modifier the chord would combine with it: it is asked again
  // this often, this many times (two seconds in all).
  static constexpr std::chrono::milliseconds kKeyRetryInterval{50};
  static constexpr int kMaxKeyRetries = 40;
  // An accessibility write the program did not answer in time may still land: the field is read
  // this often, up to the limit, and nothing else is tried. Seen: "inserted"; else "copied" and
  // never a paste, which could leave the text twice.
  static constexpr std::chrono::milliseconds kLateWritePoll{100};
  static constexpr std::chrono::milliseconds kLateWriteTimeout{2000};
  // A commit through the input method is looked for in the context's surrounding text, else in
  // the field read through accessibility, this often up to the limit. Never committed twice; where
  // nothing can be read it is "pasted" (handed to the program); not seen in a field that can be
  // read, it is "copied", left on the clipboard.
  static constexpr std::chrono::milliseconds kCommitConfirmTimeout{2000};

  // `inputMethod` may be null: no input-method route.
  TextInserter(Accessibility& accessibility, Workspace& workspace, Pasteboard& pasteboard, KeyEvents& keys,
               MainQueue& mainQueue, InputMethod* inputMethod = nullptr);
  ~TextInserter();
  TextInserter(const TextInserter&) = delete;
  TextInserter& operator=(const TextInserter&) = delete;

  // `done` runs exactly once with the outcome: at once when the accessibility write or the
  // copy settles it, later (on the main queue) when a paste or an unanswered write has to be
  // watched.
  void insert(std::string_view text, const std::shared_ptr<const FocusedTarget>& target, Completion done);

  // Gives the keyboard back to the target's field, as it was before the panel took it: its window
  // is asked to become active, once more if it is not by half the activation limit. Nothing more
  // is asked once the user has gone to another window. False when there was no window to ask for.
  bool giveFocusBack(const std::shared_ptr<const FocusedTarget>& target);
  // A new cycle has begun: the focus is no longer given back.
  void stopGivingFocusBack();

 private:
  struct Paste;
  struct LateWrite;
  struct Commit;

  // The accessibility write, else the paste, else the copy, after what `outcome` already tried.
  void insertDirectly(std::string_view text, const std::shared_ptr<const FocusedTarget>& target,
                      InsertOutcome outcome, Completion done);

  [[nodiscard]] WriteResult insertAtSelection(std::string_view text, const AccessibilityElement& element,
                                              std::optional<TextRange> fallbackRange);
  [[nodiscard]] WriteResult replaceInValue(std::string_view text, const AccessibilityElement& element,
                                           TextRange range);
  [[nodiscard]] bool activate(const FocusedTarget& target);
  // The target's field; when the cycle began in a menu, the field focused now instead.
  [[nodiscard]] std::optional<AccessibilityElement> fieldToPasteInto(const FocusedTarget& target);
  void copyOnly(std::string_view text, InsertOutcome outcome, const Completion& done);

  // Giving the focus back after the panel closed, polled on the main queue; null when not under way.
  struct FocusReturn;
  std::shared_ptr<FocusReturn> returning_;
  static void awaitReturn(std::shared_ptr<FocusReturn> back, std::chrono::milliseconds waited);

  // The steps of a paste, each run by the main queue; they hold the ports, never the inserter.
  static void awaitActivation(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited);
  static void awaitFocus(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited);
  static void pressPaste(std::shared_ptr<Paste> paste);
  static void postChord(std::shared_ptr<Paste> paste, int retriesLeft);
  static void sendChord(std::shared_ptr<Paste> paste, int retriesLeft);
  static void awaitText(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited);
  static void awaitDelivery(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited);
  static void writeCandidate(std::shared_ptr<Paste> paste);
  static void finish(Paste& paste, InsertResult result, std::string outcome);
  static void awaitLateWrite(std::shared_ptr<LateWrite> write, std::chrono::milliseconds waited);

  // The steps of a commit through the input method.
  void startCommit(std::string_view text, const std::shared_ptr<const FocusedTarget>& target,
                   Completion done);
  static void awaitContextFocus(std::shared_ptr<Commit> commit, std::chrono::milliseconds waited);
  static void commitNow(std::shared_ptr<Commit> commit, const InputContextState& state);
  static void awaitCommitted(std::shared_ptr<Commit> commit, std::chrono::milliseconds waited);
  static void commitFallBack(Commit& commit, std::string why);

  Accessibility& ax_;
  Workspace& workspace_;
  Pasteboard& pasteboard_;
  KeyEvents& keys_;
  MainQueue& mainQueue_;
  InputMethod* inputMethod_;
  // Lets a commit's later step fall back to the other strategies while the inserter exists.
  std::shared_ptr<TextInserter*> self_;
  // The paste whose clipboard restore is still to come, so a paste started before it can
  // reuse the user's clipboard instead of capturing the previous candidate.
  std::shared_ptr<Paste> pending_;
};

}  // namespace wrenfold
