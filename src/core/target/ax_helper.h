#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/accessibility.h"
#include "core/platform/geometry.h"

namespace wrenfold {

// Typed attribute readers over the accessibility port. Every reader gives nothing when the
// attribute is missing, the call fails or the value has another type; strings come back as
// valid UTF-8.
class AXHelper {
 public:
  explicit AXHelper(Accessibility& accessibility) : ax_(accessibility) {}

  [[nodiscard]] std::optional<std::string> copyString(const AccessibilityElement& element,
                                                      AXAttribute attribute) const;
  [[nodiscard]] std::optional<bool> copyBool(const AccessibilityElement& element,
                                             AXAttribute attribute) const;
  [[nodiscard]] std::optional<AccessibilityElement> elementAttribute(const AccessibilityElement& element,
                                                                     AXAttribute attribute) const;
  // The listed elements in order; empty when the attribute is missing.
  [[nodiscard]] std::vector<AccessibilityElement> elementArrayAttribute(const AccessibilityElement& element,
                                                                        AXAttribute attribute) const;
  [[nodiscard]] std::optional<TextRange> rangeAttribute(const AccessibilityElement& element,
                                                        AXAttribute attribute) const;
  // From "AXPosition" and "AXSize"; nothing unless both are present.
  [[nodiscard]] std::optional<Rect> rectAttribute(const AccessibilityElement& element) const;
  // The first of "AXValue", "AXTitle", "AXDescription", "AXHelp" that is not blank, untrimmed.
  [[nodiscard]] std::optional<std::string> textValue(const AccessibilityElement& element) const;

 private:
  Accessibility& ax_;
};

// The roles of plain text inputs, the only elements written through accessibility:
// "AXTextField", "AXTextArea", "AXTextView".
[[nodiscard]] bool isPlainTextInputRole(std::string_view role);

}  // namespace wrenfold
