#include "platform/linux/atspi_focus_finder.h"

#include <algorithm>
#include <deque>

#include "platform/linux/atspi_roles.h"

namespace wrenfold {
namespace {

constexpr int kMaxWindowsPerApplication = 64;
constexpr int kMaxParentSteps = 64;

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
    return nullptr;
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
  // LibreOffice and Qt 5 mark the containers on the way to the field focused too, and may
  // announce one of them: the field is the focused element with text inside it.
  if (found && !calls_.hasText(found.get())) {
    return walkForFocus(found.get());
  }
  return found;
}

GObjectPtr<AtspiAccessible> AtspiFocusFinder::walkForFocus(AtspiAccessible* root) {
  std::deque<GObjectPtr<AtspiAccessible>> queue;
  queue.push_back(retained(root));
  // Qt 5 marks every container on the way to the field as focused, and some of its status-bar
  // buttons too: the first focused element with text is the field; the first focused one is
  // only the answer when none has text.
  GObjectPtr<AtspiAccessible> firstFocused;
  int visited = 0;
  while (!queue.empty() && visited < searchLimit_) {
    GObjectPtr<AtspiAccessible> current = std::move(queue.front());
    queue.pop_front();
    ++visited;
    const auto states = calls_.states(current.get());
    if (!states) {
      continue;
    }
    if (states->has(ATSPI_STATE_FOCUSED)) {
      if (calls_.hasText(current.get())) {
        return current;
      }
      if (!firstFocused) {
        firstFocused = retained(current.get());
      }
    }
    // Tables and long lists manage their own descendants, possibly millions of them. (Hidden
    // parts are still walked: GTK 4 marks nothing inside a window as showing.)
    if (states->has(ATSPI_STATE_MANAGES_DESCENDANTS)) {
      continue;
    }
    const int count = calls_.childCount(current.get()).value_or(0);
    for (int i = 0; i < count && static_cast<int>(queue.size()) + visited < searchLimit_; ++i) {
      if (auto child = calls_.child(current.get(), i)) {
        queue.push_back(std::move(child));
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
