#include "core/target/ax_helper.h"

#include <array>
#include <utility>

#include "core/text/text.h"

namespace wrenfold {

std::optional<std::string> AXHelper::copyString(const AccessibilityElement& element,
                                                AXAttribute attribute) const {
  auto value = ax_.stringAttribute(element, attribute);
  if (!value) {
    return std::nullopt;
  }
  // Text from another process may be ill-formed; repair it before anything else sees it.
  return text::repairUtf8(*value);
}

std::optional<bool> AXHelper::copyBool(const AccessibilityElement& element, AXAttribute attribute) const {
  return ax_.boolAttribute(element, attribute);
}

std::optional<AccessibilityElement> AXHelper::elementAttribute(const AccessibilityElement& element,
                                                               AXAttribute attribute) const {
  return ax_.elementAttribute(element, attribute);
}

std::vector<AccessibilityElement> AXHelper::elementArrayAttribute(const AccessibilityElement& element,
                                                                  AXAttribute attribute) const {
  auto elements = ax_.elementListAttribute(element, attribute);
  return elements ? std::move(*elements) : std::vector<AccessibilityElement>{};
}

std::optional<TextRange> AXHelper::rangeAttribute(const AccessibilityElement& element,
                                                  AXAttribute attribute) const {
  return ax_.rangeAttribute(element, attribute);
}

std::optional<Rect> AXHelper::rectAttribute(const AccessibilityElement& element) const {
  const auto position = ax_.pointAttribute(element, AXAttribute::position);
  const auto size = ax_.sizeAttribute(element, AXAttribute::size);
  if (!position || !size) {
    return std::nullopt;
  }
  return Rect{position->x, position->y, size->width, size->height};
}

std::optional<std::string> AXHelper::textValue(const AccessibilityElement& element) const {
  static constexpr std::array kOrder{AXAttribute::value, AXAttribute::title, AXAttribute::description,
                                     AXAttribute::help};
  for (const auto attribute : kOrder) {
    if (auto value = copyString(element, attribute); value && !text::isBlank(*value)) {
      return value;
    }
  }
  return std::nullopt;
}

bool isPlainTextInputRole(std::string_view role) {
  return role == "AXTextField" || role == "AXTextArea" || role == "AXTextView";
}

}  // namespace wrenfold
