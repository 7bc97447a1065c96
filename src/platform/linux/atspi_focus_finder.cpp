#include "platform/linux/atspi_focus_finder.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "platform/linux/atspi_roles.h"

namespace wrenfold {
namespace {

constexpr int kMaxWindowsPerApplication = 64;
constexpr int kMaxParentSteps = 64;
// How long focus caught in a menu or on a bare page is asked again for the field, and how often.
constexpr std::chrono::milliseconds kSettleLimit{60};
// A menu opened by the first Alt is always closed by the second, and the focus then always goes
// back; only on a busy machine Firefox takes longer than the bare page's limit to say so, and
// the cycle would read the menu and place the panel beside it.
constexpr std::chrono::milliseconds kMenuSettleLimit{400};
constexpr std::chrono::milliseconds kSettlePoll{10};
// A container managing its descendants is walked only when it lists no more children than a
// screen of paragraphs.
constexpr int kManagedChildrenWalked = 200;

}  // namespace

bool AtspiFocusFinder::isFocusedIn(AtspiAccessible* element, AtspiAccessible* application) {
  if (element == nullptr || applicationBusName(element) != applicationBusName(application)) {
    return false;
  }
  const auto states = calls_.states(element);
  return states && states->has(ATSPI_STATE_FOCUSED);
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::rememberedFocus(AtspiAccessible* application) {
  AtspiAccessible* last = tracker_.lastFocused();
  if (!isFocusedIn(last, application)) {
    return earlierStillFocused(application);
  }
  // Focus parked in a menu (Alt pressed twice in some applications): the user still means the
  // field focused before it, if it is still on screen.
  const auto role = calls_.role(last);
  if (!role || !isMenuRole(*role)) {
    return retained(last);
  }
  for (const auto& earlier : tracker_.earlierFocused()) {
    if (applicationBusName(earlier.get()) != applicationBusName(application)) {
      continue;
    }
    const auto earlierRole = calls_.role(earlier.get());
    if (!earlierRole || isMenuRole(*earlierRole)) {
      continue;
    }
    const auto states = calls_.states(earlier.get());
    if (states && states->has(ATSPI_STATE_SHOWING)) {
      return retained(earlier.get());
    }
    break;  // the field focused before the menu is gone: nothing older is meant
  }
  return retained(last);
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::earlierStillFocused(AtspiAccessible* application) {
  // The last element announced has lost the focus, and where it went may not be told yet: on a
  // busy machine KWrite announces the focus the Alt double tap moved only after the trigger has
  // asked. The newest field announced before that still says it has the focus is the one, all
  // asked at once: a walk of the window instead waits for the program once per level (Qt offers
  // no search in one call), 30-110 ms of KWrite's under four busy processes. Only a field: Firefox
  // keeps its window's panel marked focused after it announced it, whatever has the focus now.
  std::vector<AtspiAccessible*> earlier;
  for (const auto& element : tracker_.earlierFocused()) {
    if (element && applicationBusName(element.get()) == applicationBusName(application)) {
      earlier.push_back(element.get());
    }
  }
  if (earlier.empty()) {
    return nullptr;
  }
  const auto told = calls_.branches(earlier);
  for (std::size_t i = 0; i < earlier.size(); ++i) {
    if (told[i].states && told[i].states->has(ATSPI_STATE_FOCUSED) && calls_.hasText(earlier[i])) {
      const auto role = calls_.role(earlier[i]);
      return role && !isMenuRole(*role) ? retained(earlier[i]) : nullptr;
    }
  }
  return nullptr;
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::focusedElement(AtspiAccessible* application) {
  auto found = rememberedFocus(application);
  if (!found) {
    auto window = activeWindow(application);
    AtspiAccessible* root = window ? window.get() : application;
    bool collectionSupported = false;
    found = calls_.firstMatch(root, ATSPI_STATE_FOCUSED, collectionSupported);
    if (!collectionSupported) {
      return walkForFocus(root);
    }
  }
  if (found && inTransition(found.get())) {
    found = settledFocus(application, std::move(found));
  }
  // LibreOffice and Qt 5 mark the containers on the way to the field focused too, and may
  // announce one of them: the field is the focused element with text inside it.
  if (found && !calls_.hasText(found.get())) {
    auto inside = walkForFocus(found.get());
    if (inside && calls_.hasText(inside.get())) {
      return inside;
    }
    // KWrite marks its status bar focused as well, and the one announced or found first may be
    // that: the field is then elsewhere in the window.
    if (auto window = activeWindow(application); window && window.get() != found.get()) {
      if (auto field = walkForFocus(window.get()); field && calls_.hasText(field.get())) {
        return field;
      }
    }
    return inside;
  }
  return found;
}

bool AtspiFocusFinder::inTransition(AtspiAccessible* element) {
  const auto role = calls_.role(element);
  return role && (isMenuRole(*role) || *role == ATSPI_ROLE_DOCUMENT_WEB);
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::settledFocus(AtspiAccessible* application,
                                                           GObjectPtr<AtspiAccessible> found) {
  // Firefox opens its menu bar on the first Alt of the double tap; when the second closes it, the
  // focus goes to the page first and reaches the field only a moment later, and sometimes only
  // the page's focus is ever reported. Ask again for a short while (the field's own focus is
  // answered within a few tens of milliseconds when it comes at all).
  const auto role = calls_.role(found.get());
  const auto deadline =
      std::chrono::steady_clock::now() + (role && isMenuRole(*role) ? kMenuSettleLimit : kSettleLimit);
  while (true) {
    auto scope = calls_.role(found.get()) == ATSPI_ROLE_DOCUMENT_WEB ? retained(found.get())
                                                                     : activeWindow(application);
    bool supported = false;
    auto now = scope ? calls_.firstMatch(scope.get(), ATSPI_STATE_FOCUSED, supported) : nullptr;
    if (now && calls_.role(now.get()) == ATSPI_ROLE_DOCUMENT_WEB) {
      now = calls_.firstMatch(now.get(), ATSPI_STATE_FOCUSED, supported);
    }
    if (now && !inTransition(now.get())) {
      return now;
    }
    if (!supported || std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    g_usleep(static_cast<gulong>(std::chrono::microseconds(kSettlePoll).count()));
  }
  // Never settled: an editable field the program reported focused and that still says so (a
  // field focused before but no longer would take the paste somewhere the user is not).
  std::vector<AtspiAccessible*> remembered{tracker_.lastFocused()};
  for (const auto& earlier : tracker_.earlierFocused()) {
    remembered.push_back(earlier.get());
  }
  for (AtspiAccessible* element : remembered) {
    if (element == nullptr || applicationBusName(element) != applicationBusName(application)) {
      continue;
    }
    const auto states = calls_.states(element);
    if (states && states->has(ATSPI_STATE_EDITABLE) && states->has(ATSPI_STATE_FOCUSED) &&
        !inTransition(element)) {
      return retained(element);
    }
  }
  return found;
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::walkForFocus(AtspiAccessible* root) {
  // Level by level, every element of a level asked at once: one round trip after another cost a
  // busy machine more than the walk's time for a GTK 4 window, which tells of no focus before the
  // user moves it. Below a focused element first: Qt 5 marks the containers on the way to the
  // field focused, and a window of KWrite holds some six hundred elements.
  struct Pending {
    GObjectPtr<AtspiAccessible> element;
    bool parentShowing = false;
  };
  std::vector<Pending> queue;
  std::vector<Pending> focusedBranches;
  queue.push_back({retained(root), false});
  // Qt 5 marks every container on the way to the field as focused, and some of its status-bar
  // buttons too: the first focused element with text is the field; the first focused one is
  // only the answer when none has text.
  GObjectPtr<AtspiAccessible> firstFocused;
  SearchBudget budget(searchLimit_, kWalkTime);
  // Each batch, too, waits no longer than the walk may take.
  const auto bound = calls_.boundReads(std::chrono::steady_clock::now() + kWalkTime);
  while (!queue.empty() || !focusedBranches.empty()) {
    const bool branch = !focusedBranches.empty();
    std::vector<Pending> level = std::exchange(branch ? focusedBranches : queue, {});
    std::vector<AtspiAccessible*> objects;
    for (const auto& pending : level) {
      if (!budget.take()) {
        break;
      }
      objects.push_back(pending.element.get());
    }
    if (objects.empty()) {
      break;
    }
    const auto told = calls_.branches(objects);
    std::vector<AtspiAccessible*> parents;
    std::vector<int> counts;
    std::vector<bool> parentsShowing;
    std::vector<bool> intoBranches;
    int listed = static_cast<int>(queue.size() + focusedBranches.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
      const auto& states = told[i].states;
      // A hidden part of a shown container (KWrite keeps a second, hidden editor frame) holds no
      // field. (Parts of hidden containers are still walked, and so are the root's parts: GTK 4
      // marks nothing inside a window as showing.)
      if (!states || (level[i].parentShowing && !states->has(ATSPI_STATE_SHOWING))) {
        continue;
      }
      const bool focused = states->has(ATSPI_STATE_FOCUSED);
      if (focused) {
        if (calls_.hasText(objects[i])) {
          return retained(objects[i]);
        }
        if (!firstFocused) {
          firstFocused = retained(objects[i]);
        }
      }
      // Tables and long lists manage their own descendants, possibly millions of them; a document
      // that lists only the paragraphs on screen (LibreOffice Writer's, which holds the focused
      // paragraph) is walked.
      const int childCount = told[i].childCount.value_or(0);
      if (childCount == 0 ||
          (states->has(ATSPI_STATE_MANAGES_DESCENDANTS) && childCount > kManagedChildrenWalked)) {
        continue;
      }
      const int count = std::min(childCount, budget.elementsLeft() - listed);
      if (count <= 0) {
        continue;
      }
      listed += count;
      parents.push_back(objects[i]);
      counts.push_back(count);
      parentsShowing.push_back(objects[i] != root && states->has(ATSPI_STATE_SHOWING));
      intoBranches.push_back(branch || focused);
    }
    if (parents.empty()) {
      continue;
    }
    auto children = calls_.children(parents, counts);
    for (std::size_t i = 0; i < parents.size(); ++i) {
      auto& into = intoBranches[i] ? focusedBranches : queue;
      for (auto& child : children[i]) {
        into.push_back({std::move(child), parentsShowing[i]});
      }
    }
  }
  return firstFocused;
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::activeWindow(AtspiAccessible* application) {
  // The window list is kept between reads; which window is active is asked every time.
  const auto windows = children_(application);
  const std::size_t count =
      windows ? std::min(windows->size(), static_cast<std::size_t>(kMaxWindowsPerApplication)) : 0;
  GObjectPtr<AtspiAccessible> onlyShowing;
  int showing = 0;
  for (std::size_t i = 0; i < count; ++i) {
    AtspiAccessible* window = atspiObject((*windows)[i]);
    const auto states = window ? calls_.states(window) : std::nullopt;
    if (!states || states->has(ATSPI_STATE_ICONIFIED) || !states->has(ATSPI_STATE_SHOWING)) {
      continue;
    }
    if (states->has(ATSPI_STATE_ACTIVE)) {
      return retained(window);
    }
    ++showing;
    onlyShowing = retained(window);
  }
  AtspiAccessible* activated = tracker_.lastActivatedWindow();
  if (activated != nullptr && applicationBusName(activated) == applicationBusName(application)) {
    const auto states = calls_.states(activated);
    if (states && states->has(ATSPI_STATE_SHOWING)) {
      return retained(activated);
    }
  }
  return showing == 1 ? std::move(onlyShowing) : nullptr;
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::enclosingWindow(AtspiAccessible* element) {
  auto current = retained(element);
  auto role = calls_.role(current.get());
  for (int step = 0; step < kMaxParentSteps; ++step) {
    if (role && isWindowRole(*role)) {
      return current;
    }
    auto parent = calls_.parent(current.get());
    if (!parent) {
      return nullptr;
    }
    const auto parentRole = calls_.role(parent.get());
    // A child of the application is its top-level window, whatever role it claims.
    if (parentRole == ATSPI_ROLE_APPLICATION) {
      return current;
    }
    current = std::move(parent);
    role = parentRole;
  }
  return nullptr;
}

}  // namespace wrenfold
