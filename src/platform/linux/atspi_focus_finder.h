#pragma once

// Finds an application's active window, an element's window and the focused element, the
// cheap ways first: the remembered focus event, then one Collection query, then a bounded walk.
// Main thread only.

#include <atspi/atspi.h>

#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "core/platform/accessibility.h"
#include "platform/linux/atspi_calls.h"
#include "platform/linux/focus_tracker.h"

namespace wrenfold {

// How far a walk may go: so many elements, and so much time (each element is a round trip,
// and a slow application answers each one just inside the call timeout).
class SearchBudget {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  SearchBudget(int elements, std::chrono::milliseconds time, Clock now = &std::chrono::steady_clock::now)
      : elementsLeft_(elements), now_(std::move(now)), deadline_(now_() + time) {}

  // Takes one element; false once either bound is spent.
  [[nodiscard]] bool take() {
    if (elementsLeft_ <= 0 || now_() >= deadline_) {
      return false;
    }
    --elementsLeft_;
    return true;
  }
  [[nodiscard]] int elementsLeft() const { return elementsLeft_; }

 private:
  int elementsLeft_;
  Clock now_;
  std::chrono::steady_clock::time_point deadline_;
};

class AtspiFocusFinder {
 public:
  // The children of an element, as the read cache keeps them; absent when unreadable.
  using ChildLister = std::function<std::optional<std::vector<AccessibilityElement>>(AtspiAccessible*)>;

  AtspiFocusFinder(AtspiCalls& calls, const FocusTracker& tracker, int searchLimit, ChildLister children)
      : calls_(calls), tracker_(tracker), searchLimit_(searchLimit), children_(std::move(children)) {}

  // The element of `application` that has keyboard focus; null when none can be found.
  [[nodiscard]] GObjectPtr<AtspiAccessible> focusedElement(AtspiAccessible* application);
  // The window of `application` that is active; else its only window on screen; else null.
  [[nodiscard]] GObjectPtr<AtspiAccessible> activeWindow(AtspiAccessible* application);
  // The top-level window holding `element` (the element itself when it is one); null when the
  // chain of parents breaks.
  [[nodiscard]] GObjectPtr<AtspiAccessible> enclosingWindow(AtspiAccessible* element);

 private:
  [[nodiscard]] bool isFocusedIn(AtspiAccessible* element, AtspiAccessible* application);
  [[nodiscard]] GObjectPtr<AtspiAccessible> rememberedFocus(AtspiAccessible* application);
  // The newest element announced before the last that still says it has the focus, not a menu.
  [[nodiscard]] GObjectPtr<AtspiAccessible> earlierStillFocused(AtspiAccessible* application);
  [[nodiscard]] GObjectPtr<AtspiAccessible> walkForFocus(AtspiAccessible* root);
  // A menu, or a web page without its field: where focus sits while Firefox's menu bar closes.
  [[nodiscard]] bool inTransition(AtspiAccessible* element);
  // The field focus settles on after `found`, waiting a bounded moment; else a remembered
  // editable field that is still focused; else `found`.
  [[nodiscard]] GObjectPtr<AtspiAccessible> settledFocus(AtspiAccessible* application,
                                                         GObjectPtr<AtspiAccessible> found);

  // The walk's time bound. A program that answers is read to the end of the walk's element
  // budget, however busy: GTK 4 tells of no focus before the user moves it, so its field is only
  // found by walking, and once in a while its window took longer than 400 ms to walk on a loaded
  // machine (the request then held only the screenshot). A program that does not answer at all
  // is told by its calls' own bound.
  static constexpr std::chrono::milliseconds kWalkTime{1000};

  AtspiCalls& calls_;
  const FocusTracker& tracker_;
  int searchLimit_;
  ChildLister children_;
};

}  // namespace wrenfold
