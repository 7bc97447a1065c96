#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/platform/accessibility.h"
#include "core/platform/geometry.h"

namespace wrenfold {

// The frontmost application and its focused element for one cycle. Immutable once resolved
// and shared (std::shared_ptr<const FocusedTarget>) by the orchestrator, the context readers
// and the inserter. Holds accessibility handles: main thread only.
struct FocusedTarget {
  std::int32_t processID = 0;
  // The window the cycle started from: keys go only there, never to another window of the
  // same program. Absent where the window system cannot tell.
  std::optional<std::uint64_t> window;
  std::string appBundleID;                 // "unknown" when the application has none
  std::string appName;                     // localized name, else the id, else "Unknown App"
  std::optional<std::string> windowTitle;  // "AXTitle" of the focused window
  std::optional<AccessibilityElement> focusedElement;
  std::optional<std::string> focusedRole;      // "AXRole" of the focused element
  std::optional<TextRange> selectedTextRange;  // its "AXSelectedTextRange"
  std::optional<Rect> inputFrame;              // frame of the focused element
  std::optional<Rect> caretFrame;              // in it, the selection's or the caret's bounds
  std::optional<Rect> screenFrame;             // frame of the focused window
  bool framesOnScreen = true;                  // false: the frames are within the window only
  bool canReadAX = true;
  bool canWriteAX = false;  // a plain text input that may be written through accessibility
  bool isTerminal = false;  // a terminal's screen: pasted into with the terminal's own chord
  // The input method's context for the focused field, remembered before our panel could take
  // the focus: the candidate is committed there first. Absent without the input method's addon.
  std::optional<std::uint64_t> inputContext;
};

}  // namespace wrenfold
