#include "platform/linux/atspi_roles.h"

namespace wrenfold {

bool roleNeedsStates(AtspiRole role) {
  return role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT;
}

std::string_view axRoleName(AtspiRole role, RoleStates states) {
  switch (role) {
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_TEXT:
      // Read-only text is text to read, not an input to write into.
      if (!states.editable) {
        return "AXStaticText";
      }
      return states.multiLine ? "AXTextArea" : "AXTextField";
    case ATSPI_ROLE_PASSWORD_TEXT:
      return "AXSecureTextField";
    case ATSPI_ROLE_LABEL:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
      return "AXStaticText";
    // A terminal's screen is text to read (VTE, Konsole); what is typed there goes to the program
    // running in it, so it is never written through accessibility, only pasted, with the
    // terminal's own chord.
    case ATSPI_ROLE_TERMINAL:
      return "AXTerminal";
    case ATSPI_ROLE_DOCUMENT_WEB:
      return "AXWebArea";
    case ATSPI_ROLE_HEADING:
      return "AXHeading";
    case ATSPI_ROLE_PARAGRAPH:
      return "AXParagraph";
    case ATSPI_ROLE_MENU_BAR:
      return "AXMenuBar";
    case ATSPI_ROLE_MENU:
      return "AXMenu";
    case ATSPI_ROLE_TOOL_BAR:
      return "AXToolbar";
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_DIALOG:
      return "AXWindow";
    case ATSPI_ROLE_APPLICATION:
      return "AXApplication";
    case ATSPI_ROLE_PUSH_BUTTON:
    case ATSPI_ROLE_TOGGLE_BUTTON:
      return "AXButton";
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
      return "AXMenuItem";
    case ATSPI_ROLE_LIST:
    case ATSPI_ROLE_LIST_BOX:
      return "AXList";
    case ATSPI_ROLE_TABLE:
    case ATSPI_ROLE_TREE_TABLE:
      return "AXTable";
    case ATSPI_ROLE_SCROLL_PANE:
      return "AXScrollArea";
    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_SECTION:
      return "AXGroup";
    default:
      return "AXUnknown";
  }
}

bool isWindowRole(AtspiRole role) {
  return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_WINDOW || role == ATSPI_ROLE_DIALOG;
}

bool isMenuRole(AtspiRole role) {
  return role == ATSPI_ROLE_MENU_BAR || role == ATSPI_ROLE_MENU || role == ATSPI_ROLE_MENU_ITEM ||
         role == ATSPI_ROLE_CHECK_MENU_ITEM || role == ATSPI_ROLE_RADIO_MENU_ITEM;
}

}  // namespace wrenfold
