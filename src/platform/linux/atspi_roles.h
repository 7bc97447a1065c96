#pragma once

// AT-SPI roles as the AX role names the core's logic tests.

#include <string_view>

#include <atspi/atspi-constants.h>

namespace wrenfold {

// What decides the AX role of an AT-SPI element besides its role.
struct RoleStates {
  bool editable = false;
  bool multiLine = false;
};

// Whether the AX role of `role` depends on the element's states (one more call to learn).
[[nodiscard]] bool roleNeedsStates(AtspiRole role);

// The AX role name: entry and single-line text "AXTextField", multi-line editable text
// "AXTextArea", text that cannot be edited "AXStaticText", password text "AXSecureTextField",
// frame, window and dialog "AXWindow", ... and "AXUnknown" for roles the core never tests.
[[nodiscard]] std::string_view axRoleName(AtspiRole role, RoleStates states);

// Roles of top-level windows.
[[nodiscard]] bool isWindowRole(AtspiRole role);

// Roles of menus, which keyboard focus visits only briefly (after Alt, for instance).
[[nodiscard]] bool isMenuRole(AtspiRole role);

}  // namespace wrenfold
