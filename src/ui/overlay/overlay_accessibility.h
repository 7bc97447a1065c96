#pragma once

namespace wrenfold {

// Registers the accessibility interfaces of the overlay's own widgets with Qt (candidate rows
// as selectable list items with a "选择" action; disclosure headers as expandable buttons).
// Safe to call any number of times.
void installOverlayAccessibility();

// The named action of a candidate row for assistive technologies.
inline constexpr const char* kSelectActionName = "选择";

}  // namespace wrenfold
