#pragma once

// The accessibility port: how the core sees and changes another application's user interface.
// Everything here is synchronous and called on the main thread only. Reads never fail towards
// the caller: a failure, a missing attribute and a value of another type are all "absent".

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/geometry.h"

namespace wrenfold {

// The attributes the core reads and writes, each with one value type.
enum class AXAttribute {
  focusedUIElement,   // "AXFocusedUIElement": element (on the application element)
  focusedWindow,      // "AXFocusedWindow": element (on the application element)
  window,             // "AXWindow": element, the window holding this element
  children,           // "AXChildren": ordered element list
  role,               // "AXRole": string, AX role names (see the back-end's role mapping)
  title,              // "AXTitle": string
  value,              // "AXValue": string (read and write)
  description,        // "AXDescription": string
  help,               // "AXHelp": string
  selectedText,       // "AXSelectedText": string (read and write)
  selectedTextRange,  // "AXSelectedTextRange": TextRange in UTF-16 units (read and write)
  position,           // "AXPosition": Point, screen points
  size,               // "AXSize": Size, screen points
  protectedContent,   // "AXProtectedContent": bool
  focused,            // "AXFocused": bool (written true to give the element focus)
};

// The attribute's AX name, e.g. "AXSelectedTextRange".
[[nodiscard]] std::string_view axAttributeName(AXAttribute attribute);

// A text range in UTF-16 code units; signed because the platform's ranges are.
struct TextRange {
  std::int64_t location = 0;
  std::int64_t length = 0;
  bool operator==(const TextRange&) const = default;
};

// A cheap, copyable, comparable handle to one element of another process. Each back-end
// derives its own node type; two handles are equal when they name the same element.
class AccessibilityElement {
 public:
  class Node {
   public:
    virtual ~Node() = default;
    // True when `other` names the same element (it may be another back-end's node).
    [[nodiscard]] virtual bool sameElement(const Node& other) const = 0;
  };

  explicit AccessibilityElement(std::shared_ptr<Node> node) : node_(std::move(node)) {}

  [[nodiscard]] Node& node() const { return *node_; }
  // The back-end's own node, or null when the handle came from another back-end.
  template <class T>
  [[nodiscard]] T* as() const {
    return dynamic_cast<T*>(node_.get());
  }

  friend bool operator==(const AccessibilityElement& a, const AccessibilityElement& b) {
    return a.node_ == b.node_ || a.node_->sameElement(*b.node_);
  }

 private:
  std::shared_ptr<Node> node_;  // never null
};

// What a text write came to.
enum class WriteResult { written, refused, timedOut };

class Accessibility {
 public:
  Accessibility() = default;
  virtual ~Accessibility() = default;
  Accessibility(const Accessibility&) = delete;
  Accessibility& operator=(const Accessibility&) = delete;

  // Whether this process may use the interface now, without asking; false when unknown.
  [[nodiscard]] virtual bool isProcessTrusted() = 0;
  // Asks the system (or the user) to grant access; the outcome is not reported.
  virtual void promptForTrust() = 0;
  // The application element of process `processID`; absent when that process exposes none.
  [[nodiscard]] virtual std::optional<AccessibilityElement> applicationElement(std::int32_t processID) = 0;

  // Typed reads: absent when missing, failing, or of another type.
  [[nodiscard]] virtual std::optional<std::string> stringAttribute(const AccessibilityElement& element,
                                                                   AXAttribute attribute) = 0;
  [[nodiscard]] virtual std::optional<bool> boolAttribute(const AccessibilityElement& element,
                                                          AXAttribute attribute) = 0;
  [[nodiscard]] virtual std::optional<AccessibilityElement> elementAttribute(
      const AccessibilityElement& element, AXAttribute attribute) = 0;
  // Absent when missing; otherwise only the members that are elements, in order.
  [[nodiscard]] virtual std::optional<std::vector<AccessibilityElement>> elementListAttribute(
      const AccessibilityElement& element, AXAttribute attribute) = 0;
  [[nodiscard]] virtual std::optional<TextRange> rangeAttribute(const AccessibilityElement& element,
                                                                AXAttribute attribute) = 0;
  [[nodiscard]] virtual std::optional<Point> pointAttribute(const AccessibilityElement& element,
                                                            AXAttribute attribute) = 0;
  [[nodiscard]] virtual std::optional<Size> sizeAttribute(const AccessibilityElement& element,
                                                          AXAttribute attribute) = 0;

  // Until `until`, no read waits past it (a slow program would otherwise hold the caller beyond
  // its budget), and reads after it answer absent unless the back-end knows the value without
  // asking; absent lifts the bound. Back-ends whose reads cannot wait ignore it.
  virtual void boundReads(std::optional<std::chrono::steady_clock::time_point> until) {
    static_cast<void>(until);
  }

  // Whether positions and frames are on the screen. Under Wayland toolkits can only tell them
  // within their own window, which says nothing of where that window is.
  [[nodiscard]] virtual bool framesAreOnScreen() { return true; }

  // A count of the changes the back-end was told of in the application holding `element` (its
  // text, children, states, names, bounds): while it stays the same, what was read there still
  // holds. Absent when the back-end is not told of changes; then nothing read may be reused.
  [[nodiscard]] virtual std::optional<std::uint64_t> changeStamp(const AccessibilityElement& element) {
    static_cast<void>(element);
    return std::nullopt;
  }

  // Where the user is writing in a text element, on screen (the selection's bounds, else the
  // caret's); absent when the element does not tell. Back-ends without it answer absent.
  [[nodiscard]] virtual std::optional<Rect> caretBounds(const AccessibilityElement& element) {
    static_cast<void>(element);
    return std::nullopt;
  }

  // Text writes: `refused` when refused, failing, or when the value did not take effect (a
  // back-end that can read the field back does so); `timedOut` when the program did not answer
  // in time, so the write may still land and nothing else may be tried before the field has
  // been read back. The other writes: false when refused or failing.
  [[nodiscard]] virtual WriteResult setString(const AccessibilityElement& element, AXAttribute attribute,
                                              std::string_view value) = 0;
  [[nodiscard]] virtual bool setRange(const AccessibilityElement& element, AXAttribute attribute,
                                      TextRange value) = 0;
  [[nodiscard]] virtual bool setBool(const AccessibilityElement& element, AXAttribute attribute,
                                     bool value) = 0;

  // A note for the user about this application's accessibility (for example that it must be
  // restarted before it exposes any text), handed out at most once per application; absent
  // when there is nothing to say.
  [[nodiscard]] virtual std::optional<std::string> takeApplicationNotice(std::int32_t processID) = 0;
  // After promptForTrust switched accessibility on: which applications already running must be
  // restarted before they expose their text, handed out once; absent when none or unknown.
  [[nodiscard]] virtual std::optional<std::string> takeRestartNotice() { return std::nullopt; }
};

}  // namespace wrenfold
