#include "core/target/text_inserter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "core/target/ax_helper.h"
#include "core/target/pasteboard_snapshot.h"
#include "core/text/text.h"

namespace wrenfold {
namespace {

constexpr std::array<std::string_view, 3> kMenuRoles{"AXMenuBar", "AXMenu", "AXMenuItem"};

bool isMenu(std::string_view role) {
  return std::find(kMenuRoles.begin(), kMenuRoles.end(), role) != kMenuRoles.end();
}

// Whether the window the keys would go to is the target's own: with several windows of one
// program open, the user may have clicked into another while the model answered.
bool targetWindowActive(Workspace& workspace, const FocusedTarget& target) {
  const auto front = workspace.frontmostApplication();
  if (!front) {
    return false;
  }
  if (target.window) {
    return front->window == target.window;
  }
  return front->processID == target.processID;
}

// The cycle started with the focus in a menu: no field of its own is known.
bool beganInMenu(const FocusedTarget& target) {
  return target.focusedRole && isMenu(*target.focusedRole);
}

// Leaves `text` on the clipboard, in its history like any copy, for the user to paste by hand.
void leaveOnClipboard(Pasteboard& pasteboard, std::string_view text) {
  pasteboard.clearContents();
  static_cast<void>(pasteboard.setString(text, ClipboardHistory::keep));
}

// The keyboard is in the menu bar of the program's active window (the bar itself or one of its
// menus), looked for where toolkits put the bar: among the window's children and theirs. The
// top-level window, not the field's: Qt nests frames, and KWrite's text sits in an inner one.
bool menuBarHoldsKeyboard(Accessibility& ax, std::int32_t processID) {
  const AXHelper helper(ax);
  const auto application = ax.applicationElement(processID);
  const auto window =
      application ? helper.elementAttribute(*application, AXAttribute::focusedWindow) : std::nullopt;
  if (!window) {
    return false;
  }
  const auto focused = [&](const AccessibilityElement& element) {
    return ax.boolAttribute(element, AXAttribute::focused) == true;
  };
  std::vector<AccessibilityElement> level = helper.elementArrayAttribute(*window, AXAttribute::children);
  for (int depth = 0; depth < 2 && !level.empty(); ++depth) {
    std::vector<AccessibilityElement> next;
    for (const auto& element : level) {
      if (helper.copyString(element, AXAttribute::role) != "AXMenuBar") {
        auto children = helper.elementArrayAttribute(element, AXAttribute::children);
        next.insert(next.end(), children.begin(), children.end());
        continue;
      }
      const auto menus = helper.elementArrayAttribute(element, AXAttribute::children);
      return focused(element) || std::any_of(menus.begin(), menus.end(), focused);
    }
    level = std::move(next);
  }
  return false;
}

// A Qt 5 program on the accessibility bus holds each key back until the bus has seen it: on a
// busy machine it may take the trigger's Alt only after our panel took the keyboard. Its menu bar
// then holds the keyboard in the window given back, the field never gets it, and asking for the
// focus through accessibility does not help; Escape does (twice from an open menu). Pressed only
// into the target's own active window, a moment apart, while the field waits for the keyboard.
class MenuBarExit {
 public:
  // Left to the program after its window became active, and between looks.
  static constexpr std::chrono::milliseconds kSettle{150};
  static constexpr std::chrono::milliseconds kSpacing{300};
  static constexpr int kMaxPresses = 2;

  // Called at each poll of a wait for the field's keyboard, with the time waited so far.
  void pressIfHeld(Accessibility& ax, Workspace& workspace, KeyEvents& keys, const FocusedTarget& target,
                   std::chrono::milliseconds waited) {
    if (presses_ >= kMaxPresses) {
      return;
    }
    if (!targetWindowActive(workspace, target)) {
      activeSince_.reset();
      return;
    }
    if (!activeSince_) {
      activeSince_ = waited;
    }
    if (waited < *activeSince_ + kSettle || (lastLook_ && waited < *lastLook_ + kSpacing)) {
      return;
    }
    lastLook_ = waited;
    if (menuBarHoldsKeyboard(ax, target.processID) &&
        keys.post(KeyChord{"escape", 0}) == KeyPostResult::posted) {
      ++presses_;
    }
  }
  [[nodiscard]] bool pressed() const { return presses_ > 0; }

 private:
  int presses_ = 0;
  std::optional<std::chrono::milliseconds> activeSince_;
  std::optional<std::chrono::milliseconds> lastLook_;
};

}  // namespace

std::string fitToField(std::string_view text, std::optional<std::string_view> role) {
  if (role != "AXTextField") {
    return std::string(text);
  }
  // A single-line field drops line breaks (Chromium) or turns them into spaces (Firefox):
  // doing it here makes what arrives predictable and lets the read-back find it.
  std::string fitted;
  fitted.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;  // CR LF is one break
    }
    if (text[i] == '\n' || text[i] == '\r') {
      fitted += ' ';
    } else if (text.substr(i, 3) == "\u2028" || text.substr(i, 3) == "\u2029") {
      fitted += ' ';
      i += 2;
    } else {
      fitted += text[i];
    }
  }
  return fitted;
}

// A text write the program has not answered yet, watched until the field shows it or time is up.
struct TextInserter::LateWrite {
  LateWrite(Accessibility& accessibility, Pasteboard& board, MainQueue& mainQueue, InsertionCheck readBack,
            std::string text, InsertOutcome soFar, Completion completion)
      : ax(accessibility),
        pasteboard(board),
        queue(mainQueue),
        check(std::move(readBack)),
        candidate(std::move(text)),
        outcome(std::move(soFar)),
        done(std::move(completion)) {}

  Accessibility& ax;
  Pasteboard& pasteboard;
  MainQueue& queue;
  InsertionCheck check;
  std::string candidate;
  InsertOutcome outcome;
  Completion done;
};

// One paste in flight: what it needs after `insert` has returned, and the user's clipboard
// waiting to be put back once the candidate has been seen arriving.
struct TextInserter::Paste {
  Paste(TextInserter& inserter, std::shared_ptr<const FocusedTarget> pasteTarget, std::string_view text,
        InsertOutcome soFar, Completion completion)
      : ax(inserter.ax_),
        workspace(inserter.workspace_),
        pasteboard(inserter.pasteboard_),
        keys(inserter.keys_),
        queue(inserter.mainQueue_),
        target(std::move(pasteTarget)),
        candidate(text),
        outcome(std::move(soFar)),
        done(std::move(completion)) {}

  Accessibility& ax;
  Workspace& workspace;
  Pasteboard& pasteboard;
  KeyEvents& keys;
  MainQueue& queue;
  std::shared_ptr<const FocusedTarget> target;
  std::optional<AccessibilityElement> element;  // the field to paste into and read back
  std::optional<TextRange> selection;
  std::string candidate;
  PasteboardSnapshot snapshot;
  std::optional<std::int64_t> changeCount;  // just after the candidate was written
  std::optional<std::int64_t> fetches;      // by other programs, just after it was written
  bool settled = false;                     // restored, kept, or handed to a later paste
  bool keysAwaited = false;                 // the key back-end made the paste wait (a consent dialog)
  MenuBarExit menuBar;
  std::optional<InsertionCheck> check;
  InsertOutcome outcome;
  Completion done;

  // True while the clipboard still holds exactly what the inserter put there.
  [[nodiscard]] bool untouched() const {
    if (changeCount) {
      return pasteboard.changeCount() == changeCount;
    }
    return pasteboard.string() == candidate;
  }
};

// One commit through the input method in flight. Holds the ports, and the inserter only weakly,
// for falling back to the other strategies.
struct TextInserter::Commit {
  Commit(TextInserter& inserter, std::shared_ptr<const FocusedTarget> commitTarget, std::string_view original,
         Completion completion)
      : ax(inserter.ax_),
        workspace(inserter.workspace_),
        pasteboard(inserter.pasteboard_),
        keys(inserter.keys_),
        queue(inserter.mainQueue_),
        inputMethod(*inserter.inputMethod_),
        self(inserter.self_),
        target(std::move(commitTarget)),
        text(original),
        candidate(fitToField(original, target->focusedRole)),
        done(std::move(completion)) {}

  Accessibility& ax;
  Workspace& workspace;
  Pasteboard& pasteboard;
  KeyEvents& keys;
  MainQueue& queue;
  InputMethod& inputMethod;
  std::shared_ptr<TextInserter*> self;
  std::shared_ptr<const FocusedTarget> target;
  std::string text;       // as chosen, for the strategies after this one
  std::string candidate;  // as the field can hold it
  std::optional<std::string> surroundingBefore;
  std::optional<InsertionCheck> check;
  MenuBarExit menuBar;
  InsertOutcome outcome;
  Completion done;
};

std::string_view insertResultName(InsertResult result) {
  switch (result) {
    case InsertResult::inserted:
      return "inserted";
    case InsertResult::pasted:
      return "pasted";
    case InsertResult::copied:
      break;
  }
  return "copied";
}

TextInserter::TextInserter(Accessibility& accessibility, Workspace& workspace, Pasteboard& pasteboard,
                           KeyEvents& keys, MainQueue& mainQueue, InputMethod* inputMethod)
    : ax_(accessibility),
      workspace_(workspace),
      pasteboard_(pasteboard),
      keys_(keys),
      mainQueue_(mainQueue),
      inputMethod_(inputMethod),
      self_(std::make_shared<TextInserter*>(this)) {}

TextInserter::~TextInserter() {
  *self_ = nullptr;
}

void TextInserter::insert(std::string_view text, const std::shared_ptr<const FocusedTarget>& target,
                          Completion done) {
  if (inputMethod_ && target->inputContext) {
    startCommit(text, target, std::move(done));
    return;
  }
  insertDirectly(text, target, InsertOutcome{}, std::move(done));
}

void TextInserter::insertDirectly(std::string_view text, const std::shared_ptr<const FocusedTarget>& target,
                                  InsertOutcome outcome, Completion done) {
  if (target->canWriteAX && target->focusedElement) {
    const std::string fitted = fitToField(text, target->focusedRole);
    // Taken before the write: a late answer is recognised by the text being there once more.
    auto check = InsertionCheck::before(ax_, target->focusedElement, fitted);
    const auto written = insertAtSelection(fitted, *target->focusedElement, target->selectedTextRange);
    if (written == WriteResult::written) {
      outcome.attempts.push_back({"accessibility", "written"});
      outcome.result = InsertResult::inserted;
      done(std::move(outcome));
      return;
    }
    if (written == WriteResult::timedOut) {
      outcome.attempts.push_back({"accessibility", "timed out"});
      awaitLateWrite(std::make_shared<LateWrite>(ax_, pasteboard_, mainQueue_, std::move(check),
                                                 std::string(text), std::move(outcome), std::move(done)),
                     std::chrono::milliseconds{0});
      return;
    }
    outcome.attempts.push_back({"accessibility", "refused"});
  }
  if (!activate(*target)) {
    outcome.attempts.push_back({"paste", "no window to activate"});
    copyOnly(text, std::move(outcome), done);
    return;
  }
  auto element = fieldToPasteInto(*target);
  std::optional<std::string> role = target->focusedRole;
  if (element && element != target->focusedElement) {
    role = AXHelper(ax_).copyString(*element, AXAttribute::role);
  }
  const std::string fitted = fitToField(text, role);
  auto paste = std::make_shared<Paste>(*this, target, fitted, std::move(outcome), std::move(done));
  paste->element = std::move(element);
  if (paste->element) {
    paste->selection = AXHelper(ax_).rangeAttribute(*paste->element, AXAttribute::selectedTextRange);
  }
  // Read now, while the target is idle behind our panel: once it is busy taking the focus back a
  // read can time out, and the field cannot change before the paste anyway.
  paste->check = InsertionCheck::before(ax_, paste->element, fitted);
  if (!paste->selection) {
    paste->selection = target->selectedTextRange;
  }
  if (pending_ && !pending_->settled && pending_->untouched()) {
    // The clipboard still holds the previous candidate: keep the user's own content instead.
    paste->snapshot = std::move(pending_->snapshot);
    pending_->settled = true;
    pending_ = paste;
    writeCandidate(std::move(paste));
    return;
  }
  pending_ = paste;
  // A large image or a slow owner takes seconds to read: never on the main thread.
  pasteboard_.readItems([paste](std::optional<std::vector<PasteboardItem>> items) mutable {
    paste->snapshot = PasteboardSnapshot::of(std::move(items));
    writeCandidate(std::move(paste));
  });
}

void TextInserter::writeCandidate(std::shared_ptr<Paste> paste) {
  auto& pasteboard = paste->pasteboard;
  pasteboard.clearContents();
  if (!pasteboard.setString(paste->candidate, ClipboardHistory::skip)) {
    // Left for the user to paste by hand, in the clipboard's history like any copy.
    paste->settled = true;
    leaveOnClipboard(pasteboard, paste->candidate);
    finish(*paste, InsertResult::copied, "clipboard refused");
    return;
  }
  paste->changeCount = pasteboard.changeCount();
  paste->fetches = pasteboard.textFetches();
  awaitActivation(std::move(paste), std::chrono::milliseconds{0});
}

std::optional<AccessibilityElement> TextInserter::fieldToPasteInto(const FocusedTarget& target) {
  if (!target.focusedRole || (!isMenu(*target.focusedRole) && *target.focusedRole != "AXWebArea")) {
    return target.focusedElement;
  }
  // The cycle began with the focus in a menu or on the bare page: Alt, pressed twice to trigger,
  // opens Firefox's menu bar for a moment, and the page's field may take the focus back only
  // later. By now the program has given the focus back to its field; giving the menu the focus
  // again would open it and swallow the paste, and the page's caret put back would move it out
  // of the field.
  const AXHelper helper(ax_);
  const auto application = ax_.applicationElement(target.processID);
  auto now =
      application ? helper.elementAttribute(*application, AXAttribute::focusedUIElement) : std::nullopt;
  if (now) {
    const auto role = helper.copyString(*now, AXAttribute::role);
    if (!role || isMenu(*role)) {
      now.reset();
    }
  }
  return now;
}

void TextInserter::copyOnly(std::string_view text, InsertOutcome outcome, const Completion& done) {
  leaveOnClipboard(pasteboard_, text);
  outcome.result = InsertResult::copied;
  done(std::move(outcome));
}

WriteResult TextInserter::insertAtSelection(std::string_view text, const AccessibilityElement& element,
                                            std::optional<TextRange> fallbackRange) {
  const AXHelper helper(ax_);
  const auto role = helper.copyString(element, AXAttribute::role);
  if (!role || !isPlainTextInputRole(*role)) {
    return WriteResult::refused;
  }
  auto range = helper.rangeAttribute(element, AXAttribute::selectedTextRange);
  if (!range) {
    range = fallbackRange;
  }
  if (!range || range->location < 0 || range->length < 0) {
    return WriteResult::refused;
  }
  const auto written = ax_.setString(element, AXAttribute::selectedText, text);
  if (written == WriteResult::written) {
    const auto caret = range->location + static_cast<std::int64_t>(text::utf16Length(text));
    static_cast<void>(ax_.setRange(element, AXAttribute::selectedTextRange, {caret, 0}));
  }
  if (written != WriteResult::refused) {
    return written;  // an unanswered write may still land: no second one
  }
  return replaceInValue(text, element, *range);
}

WriteResult TextInserter::replaceInValue(std::string_view text, const AccessibilityElement& element,
                                         TextRange range) {
  auto value = AXHelper(ax_).copyString(element, AXAttribute::value);
  if (!value) {
    return WriteResult::refused;
  }
  const auto end = range.location + range.length;
  if (end > static_cast<std::int64_t>(text::utf16Length(*value))) {
    return WriteResult::refused;
  }
  // A range edge inside a surrogate pair would split a character: refuse rather than corrupt.
  const auto from = text::byteOffsetOfUtf16(*value, static_cast<std::size_t>(range.location));
  const auto to = text::byteOffsetOfUtf16(*value, static_cast<std::size_t>(end));
  if (!from || !to) {
    return WriteResult::refused;
  }
  value->replace(*from, *to - *from, text);
  const auto written = ax_.setString(element, AXAttribute::value, *value);
  if (written == WriteResult::written) {
    const auto caret = range.location + static_cast<std::int64_t>(text::utf16Length(text));
    static_cast<void>(ax_.setRange(element, AXAttribute::selectedTextRange, {caret, 0}));
  }
  return written;
}

void TextInserter::awaitLateWrite(std::shared_ptr<LateWrite> write, std::chrono::milliseconds waited) {
  const auto verdict = write->check.check(write->ax);
  if (verdict == InsertionCheck::Verdict::landed) {
    write->outcome.attempts.push_back({"accessibility", "written late"});
    write->outcome.result = InsertResult::inserted;
    write->done(std::move(write->outcome));
    return;
  }
  // A program still busy with the write may not answer a read either: asked again until the limit.
  if (write->check.readable() && waited < kLateWriteTimeout) {
    write->queue.postAfter(kLateWritePoll, [write, waited]() mutable {
      awaitLateWrite(std::move(write), waited + kLateWritePoll);
    });
    return;
  }
  // Not known to have landed, and it still may: the user pastes by hand if it never does.
  leaveOnClipboard(write->pasteboard, write->candidate);
  write->outcome.result = InsertResult::copied;
  write->done(std::move(write->outcome));
}

bool TextInserter::activate(const FocusedTarget& target) {
  if (target.window) {
    // That window, not the program's topmost: another of its windows may be in front now.
    return workspace_.activateWindow(*target.window);
  }
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

struct TextInserter::FocusReturn {
  Accessibility& ax;
  Workspace& workspace;
  KeyEvents& keys;
  MainQueue& queue;
  std::shared_ptr<const FocusedTarget> target;
  bool stopped = false;
  std::optional<std::chrono::milliseconds> activeSince;
  MenuBarExit menuBar;
};

bool TextInserter::giveFocusBack(const std::shared_ptr<const FocusedTarget>& target) {
  if (!target || !activate(*target)) {
    return false;
  }
  stopGivingFocusBack();
  returning_ = std::make_shared<FocusReturn>(
      FocusReturn{ax_, workspace_, keys_, mainQueue_, target, false, std::nullopt, MenuBarExit{}});
  awaitReturn(returning_, std::chrono::milliseconds{0});
  return true;
}

void TextInserter::stopGivingFocusBack() {
  if (returning_) {
    returning_->stopped = true;
    returning_.reset();
  }
}

void TextInserter::awaitReturn(std::shared_ptr<FocusReturn> back, std::chrono::milliseconds waited) {
  if (back->stopped) {
    return;
  }
  if (targetWindowActive(back->workspace, *back->target)) {
    // Back where it was: the program puts the focus back in its field itself, unless its menu
    // bar took the keyboard meanwhile.
    const auto& field = beganInMenu(*back->target) ? std::nullopt : back->target->focusedElement;
    if (!back->activeSince) {
      back->activeSince = waited;
    }
    if (!field || waited > *back->activeSince + kMenuBarWatch ||
        back->ax.boolAttribute(*field, AXAttribute::focused) == true) {
      return;
    }
    back->menuBar.pressIfHeld(back->ax, back->workspace, back->keys, *back->target, waited);
    back->queue.postAfter(kFocusPoll, [back, waited] { awaitReturn(back, waited + kFocusPoll); });
    return;
  }
  if (waited == kActivationTimeout / 2) {
    // Asked while the panel was still going, the window manager may have let it pass: once more,
    // unless the user has gone elsewhere meanwhile.
    const auto front = back->workspace.frontmostApplication();
    if (!front || front->processID == back->workspace.ownProcessID()) {
      static_cast<void>(back->target->window ? back->workspace.activateWindow(*back->target->window)
                                             : back->workspace.activate(back->target->processID));
    }
  }
  if (waited < kActivationTimeout) {
    back->queue.postAfter(kFocusPoll, [back, waited] { awaitReturn(back, waited + kFocusPoll); });
  }
}

void TextInserter::awaitActivation(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited) {
  // Keys go to whichever window has the focus: never paste before the target's is active.
  if (targetWindowActive(paste->workspace, *paste->target)) {
    awaitFocus(std::move(paste), std::chrono::milliseconds{0});
    return;
  }
  if (waited >= kActivationTimeout) {
    finish(*paste, InsertResult::copied, "window not activated");
    return;
  }
  paste->queue.postAfter(kActivationPoll,
                         [paste, waited] { awaitActivation(paste, waited + kActivationPoll); });
}

void TextInserter::awaitFocus(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited) {
  const auto& element = paste->element;
  const auto unfocused = [&] {
    return element && paste->ax.boolAttribute(*element, AXAttribute::focused) == false;
  };
  if (!unfocused()) {
    if (paste->menuBar.pressed()) {
      paste->outcome.attempts.push_back({"paste", "menu bar left"});
    }
    paste->queue.postAfter(kPasteDelay, [paste] { pressPaste(paste); });
    return;
  }
  paste->menuBar.pressIfHeld(paste->ax, paste->workspace, paste->keys, *paste->target, waited);
  if (waited == kFocusTimeout) {
    // The program did not give the focus back by itself: ask once, and give it a moment to say
    // so (a Qt program tells the new state only once its window has taken the focus in).
    static_cast<void>(paste->ax.setBool(*element, AXAttribute::focused, true));
  }
  if (waited < kFocusTimeout + kFocusAskedWait) {
    paste->queue.postAfter(kFocusPoll, [paste, waited] { awaitFocus(paste, waited + kFocusPoll); });
    return;
  }
  // A field still without the focus would let the keys land elsewhere in the window (or open a
  // menu).
  finish(*paste, InsertResult::copied, "field not focused");
}

void TextInserter::pressPaste(std::shared_ptr<Paste> paste) {
  const auto& element = paste->element;
  if (element) {
    static_cast<void>(paste->ax.setBool(*element, AXAttribute::focused, true));
    if (paste->selection) {
      static_cast<void>(paste->ax.setRange(*element, AXAttribute::selectedTextRange, *paste->selection));
    }
  }
  postChord(std::move(paste), kMaxKeyRetries);
}

void TextInserter::postChord(std::shared_ptr<Paste> paste, int retriesLeft) {
  // Checked again at every attempt: the user may switch windows while a modifier is held.
  if (!targetWindowActive(paste->workspace, *paste->target)) {
    finish(*paste, InsertResult::copied, "window changed");
    return;
  }
  // The back-end may first ask the user (the desktop's consent dialog), which takes the focus:
  // after such a wait the window and the field are awaited and checked again, so the keys go
  // nowhere but the target, and nothing is typed while the dialog is open.
  auto answeredAtOnce = std::make_shared<bool>(true);
  auto* keys = &paste->keys;
  keys->whenReady([paste, retriesLeft, answeredAtOnce](bool ready) {
    if (!ready) {
      finish(*paste, InsertResult::copied, "keys unavailable");
    } else if (*answeredAtOnce || paste->keysAwaited) {
      sendChord(paste, retriesLeft);
    } else {
      paste->keysAwaited = true;
      awaitActivation(paste, std::chrono::milliseconds{0});
    }
  });
  *answeredAtOnce = false;
}

void TextInserter::sendChord(std::shared_ptr<Paste> paste, int retriesLeft) {
  // A terminal hands Ctrl+V to the shell as "literal next": its paste chord has Shift.
  auto chord = KeyChord::paste();
  if (paste->target->isTerminal) {
    chord.modifiers |= static_cast<unsigned>(KeyModifier::shift);
  }
  auto keys = &paste->keys;
  keys->postThen(chord, [paste = std::move(paste), retriesLeft](KeyPostResult result) {
    if (result == KeyPostResult::retry && retriesLeft > 0) {
      paste->queue.postAfter(kKeyRetryInterval, [paste, retriesLeft] { postChord(paste, retriesLeft - 1); });
      return;
    }
    if (result != KeyPostResult::posted) {
      finish(*paste, InsertResult::copied, "keystroke not posted");
      return;
    }
    if (!paste->check->readable()) {
      awaitDelivery(paste, std::chrono::milliseconds{0});
      return;
    }
    paste->queue.postAfter(kConfirmPoll, [paste] { awaitText(paste, kConfirmPoll); });
  });
}

void TextInserter::awaitDelivery(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited) {
  // The field cannot be read; the program fetching the text is what tells a delivered paste.
  const auto fetches = paste->pasteboard.textFetches();
  if (fetches && paste->fetches && *fetches > *paste->fetches) {
    finish(*paste, InsertResult::pasted, "fetched");
    return;
  }
  if (waited >= kConfirmTimeout) {
    if (paste->fetches) {
      // The back-end sees every fetch and none came: nothing was pasted anywhere.
      finish(*paste, InsertResult::copied, "not fetched");
    } else {
      finish(*paste, InsertResult::pasted, "unconfirmed");
    }
    return;
  }
  paste->queue.postAfter(kConfirmPoll, [paste, waited] { awaitDelivery(paste, waited + kConfirmPoll); });
}

void TextInserter::awaitText(std::shared_ptr<Paste> paste, std::chrono::milliseconds waited) {
  switch (paste->check->check(paste->ax)) {
    case InsertionCheck::Verdict::landed:
      finish(*paste, InsertResult::inserted, "confirmed");
      return;
    case InsertionCheck::Verdict::unreadable:
      // Readable before, so a busy program more likely than a field without text: try again,
      // and if it never answers the paste stays unconfirmed.
      if (waited >= kConfirmTimeout) {
        finish(*paste, InsertResult::pasted, "unconfirmed");
        return;
      }
      break;
    case InsertionCheck::Verdict::notYet:
      if (waited >= kConfirmTimeout) {
        finish(*paste, InsertResult::copied, "not seen");
        return;
      }
      break;
  }
  paste->queue.postAfter(kConfirmPoll, [paste, waited] { awaitText(paste, waited + kConfirmPoll); });
}

void TextInserter::finish(Paste& paste, InsertResult result, std::string outcome) {
  paste.outcome.attempts.push_back({"paste", std::move(outcome)});
  paste.outcome.result = result;
  if (!paste.settled) {
    paste.settled = true;
    // Every posted paste gives the user's clipboard back once the program has taken the text;
    // "copied" keeps the candidate there to be pasted by hand. Someone who copied something
    // newer meanwhile keeps it.
    if (result != InsertResult::copied && paste.untouched()) {
      paste.snapshot.restore(paste.pasteboard);
    }
    paste.snapshot = {};  // the user's clipboard is not kept in memory longer than needed
  }
  if (auto done = std::exchange(paste.done, nullptr)) {
    done(paste.outcome);
  }
}

void TextInserter::startCommit(std::string_view text, const std::shared_ptr<const FocusedTarget>& target,
                               Completion done) {
  auto commit = std::make_shared<Commit>(*this, target, text, std::move(done));
  const auto state = inputMethod_->state(*target->inputContext);
  if (!state) {
    commitFallBack(*commit, "gone");
    return;
  }
  if (state->refusesText) {
    // The program turned the field into a password field meanwhile: nothing is typed into it.
    commit->outcome.attempts.push_back({"input method", "password field"});
    copyOnly(text, std::move(commit->outcome), commit->done);
    return;
  }
  // Our panel has the keyboard: the field gets it back with its window.
  if (!(state->focused && targetWindowActive(workspace_, *target)) && !activate(*target)) {
    commitFallBack(*commit, "no window to activate");
    return;
  }
  awaitContextFocus(std::move(commit), std::chrono::milliseconds{0});
}

void TextInserter::awaitContextFocus(std::shared_ptr<Commit> commit, std::chrono::milliseconds waited) {
  const auto state = commit->inputMethod.state(*commit->target->inputContext);
  if (!state) {
    commitFallBack(*commit, "gone");
    return;
  }
  // Both: the context's focus says the field has the keyboard, the active window that it is the
  // field the cycle started from.
  const bool inMenu = beganInMenu(*commit->target);
  // A Qt 5 window keeps its input context focused while its menu bar holds the keyboard, and a
  // commit then goes to the bar and is lost.
  if (state->focused && targetWindowActive(commit->workspace, *commit->target) &&
      (inMenu || !menuBarHoldsKeyboard(commit->ax, commit->target->processID))) {
    if (commit->menuBar.pressed()) {
      commit->outcome.attempts.push_back({"input method", "menu bar left"});
    }
    commitNow(std::move(commit), *state);
    return;
  }
  if (!inMenu) {
    commit->menuBar.pressIfHeld(commit->ax, commit->workspace, commit->keys, *commit->target, waited);
  }
  if (waited >= kActivationTimeout + kFocusTimeout) {
    commitFallBack(*commit, "not focused");
    return;
  }
  auto& queue = commit->queue;
  queue.postAfter(kFocusPoll, [commit = std::move(commit), waited]() mutable {
    awaitContextFocus(std::move(commit), waited + kFocusPoll);
  });
}

void TextInserter::commitNow(std::shared_ptr<Commit> commit, const InputContextState& state) {
  commit->surroundingBefore = state.surroundingText;
  commit->check = InsertionCheck::before(commit->ax, commit->target->focusedElement, commit->candidate);
  switch (commit->inputMethod.commit(*commit->target->inputContext, commit->candidate)) {
    case CommitResult::committed:
      awaitCommitted(std::move(commit), std::chrono::milliseconds{0});
      return;
    case CommitResult::refused:
      commit->outcome.attempts.push_back({"input method", "password field"});
      leaveOnClipboard(commit->pasteboard, commit->text);
      commit->outcome.result = InsertResult::copied;
      commit->done(std::move(commit->outcome));
      return;
    case CommitResult::unfocused:
      commitFallBack(*commit, "not focused");
      return;
    case CommitResult::gone:
      break;
  }
  commitFallBack(*commit, "gone");
}

void TextInserter::awaitCommitted(std::shared_ptr<Commit> commit, std::chrono::milliseconds waited) {
  const auto state = commit->inputMethod.state(*commit->target->inputContext);
  const bool surroundingReported = state && state->surroundingText;
  bool seen = surroundingReported &&
              InsertionCheck::shownIn(commit->surroundingBefore, *state->surroundingText, commit->candidate);
  if (!seen) {
    seen = commit->check->check(commit->ax) == InsertionCheck::Verdict::landed;
  }
  const bool readable = surroundingReported || commit->check->readable();
  if (seen || !readable || waited >= kCommitConfirmTimeout) {
    // Handed to the program either way: committing again or pasting could leave it twice.
    commit->outcome.attempts.push_back({"input method", seen       ? "confirmed"
                                                        : readable ? "not seen"
                                                                   : "unconfirmed"});
    commit->outcome.result = seen ? InsertResult::inserted : InsertResult::pasted;
    if (!seen && readable) {
      // The program shows its text and the commit is not in it: lost on the way (KWin's Wayland
      // input method accepted commits that never reached the field). Left on the clipboard for
      // the user to paste, as an unseen paste is; never committed again.
      leaveOnClipboard(commit->pasteboard, commit->text);
      commit->outcome.result = InsertResult::copied;
    }
    commit->done(std::move(commit->outcome));
    return;
  }
  auto& queue = commit->queue;
  queue.postAfter(kConfirmPoll, [commit = std::move(commit), waited]() mutable {
    awaitCommitted(std::move(commit), waited + kConfirmPoll);
  });
}

void TextInserter::commitFallBack(Commit& commit, std::string why) {
  commit.outcome.attempts.push_back({"input method", std::move(why)});
  if (auto* inserter = *commit.self) {
    inserter->insertDirectly(commit.text, commit.target, std::move(commit.outcome), std::move(commit.done));
    return;
  }
  commit.done(std::move(commit.outcome));  // quitting: nothing more is tried
}

}  // namespace wrenfold
