#pragma once

// Whether a text written into another program's field actually arrived, told by reading the
// field back through accessibility. Used after a paste, which posts a keystroke and otherwise
// learns nothing about its effect. Main thread only.

#include <optional>
#include <string>
#include <string_view>

#include "core/platform/accessibility.h"

namespace wrenfold {

class InsertionCheck {
 public:
  enum class Verdict {
    landed,      // the field now holds the text once more than before
    notYet,      // the field is readable and does not show it (yet)
    unreadable,  // the program exposes no text for the field: nothing can be confirmed
  };

  // What `element` holds now, before `text` is written into it; without an element, or when
  // its text cannot be read, every later check is `unreadable`.
  [[nodiscard]] static InsertionCheck before(Accessibility& accessibility,
                                             const std::optional<AccessibilityElement>& element,
                                             std::string_view text);

  [[nodiscard]] bool readable() const { return before_.has_value(); }
  // Reads the field again and compares.
  [[nodiscard]] Verdict check(Accessibility& accessibility) const;

  // Whether the text around the caret an input method reports shows `text` arriving: its last
  // line (the report is often one paragraph) once more than `before` (absent: not reported).
  [[nodiscard]] static bool shownIn(const std::optional<std::string>& before, std::string_view after,
                                    std::string_view text);

  // Field text as programs report it, made comparable: browsers put zero-width and
  // object-replacement characters into their accessible text, turn spaces into no-break spaces
  // in rich text, and some editors keep "\r\n" line ends.
  [[nodiscard]] static std::string comparable(std::string_view text);

 private:
  std::optional<AccessibilityElement> element_;
  std::optional<std::string> before_;  // comparable form
  std::string text_;                   // comparable form
};

}  // namespace wrenfold
