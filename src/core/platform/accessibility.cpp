#include "core/platform/accessibility.h"

namespace wrenfold {

std::string_view axAttributeName(AXAttribute attribute) {
  switch (attribute) {
    case AXAttribute::focusedUIElement:
      return "AXFocusedUIElement";
    case AXAttribute::focusedWindow:
      return "AXFocusedWindow";
    case AXAttribute::window:
      return "AXWindow";
    case AXAttribute::children:
      return "AXChildren";
    case AXAttribute::role:
      return "AXRole";
    case AXAttribute::title:
      return "AXTitle";
    case AXAttribute::value:
      return "AXValue";
    case AXAttribute::description:
      return "AXDescription";
    case AXAttribute::help:
      return "AXHelp";
    case AXAttribute::selectedText:
      return "AXSelectedText";
    case AXAttribute::selectedTextRange:
      return "AXSelectedTextRange";
    case AXAttribute::position:
      return "AXPosition";
    case AXAttribute::size:
      return "AXSize";
    case AXAttribute::protectedContent:
      return "AXProtectedContent";
    case AXAttribute::focused:
      return "AXFocused";
  }
  return "";
}

}  // namespace wrenfold
