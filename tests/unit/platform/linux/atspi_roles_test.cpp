#include "platform/linux/atspi_roles.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace wrenfold {
namespace {

// The role names are the contract with the core's logic: which elements are read, written,
// pruned, or refused as password fields.
TEST(AtspiRolesTest, MapsToTheAxRoleNamesTheCoreTests) {
  struct Row {
    AtspiRole role;
    RoleStates states;
    std::string_view name;
  };
  const std::vector<Row> rows = {
      {ATSPI_ROLE_ENTRY, {true, false}, "AXTextField"},
      {ATSPI_ROLE_TEXT, {true, false}, "AXTextField"},
      {ATSPI_ROLE_TEXT, {true, true}, "AXTextArea"},
      {ATSPI_ROLE_TEXT, {false, true}, "AXStaticText"},  // read-only text is never written
      {ATSPI_ROLE_ENTRY, {false, false}, "AXStaticText"},
      {ATSPI_ROLE_PASSWORD_TEXT, {true, false}, "AXSecureTextField"},
      {ATSPI_ROLE_LABEL, {}, "AXStaticText"},
      {ATSPI_ROLE_STATIC, {}, "AXStaticText"},
      {ATSPI_ROLE_TERMINAL, {}, "AXTerminal"},  // read as context, pasted into, never written
      {ATSPI_ROLE_DOCUMENT_WEB, {}, "AXWebArea"},
      {ATSPI_ROLE_HEADING, {}, "AXHeading"},
      {ATSPI_ROLE_PARAGRAPH, {}, "AXParagraph"},
      {ATSPI_ROLE_MENU_BAR, {}, "AXMenuBar"},
      {ATSPI_ROLE_MENU, {}, "AXMenu"},
      {ATSPI_ROLE_TOOL_BAR, {}, "AXToolbar"},
      {ATSPI_ROLE_FRAME, {}, "AXWindow"},
      {ATSPI_ROLE_DIALOG, {}, "AXWindow"},
      {ATSPI_ROLE_WINDOW, {}, "AXWindow"},
      {ATSPI_ROLE_CANVAS, {}, "AXUnknown"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(axRoleName(row.role, row.states), row.name) << "role " << static_cast<int>(row.role);
  }
}

TEST(AtspiRolesTest, OnlyTextRolesCostAStateQuery) {
  EXPECT_TRUE(roleNeedsStates(ATSPI_ROLE_ENTRY));
  EXPECT_TRUE(roleNeedsStates(ATSPI_ROLE_TEXT));
  EXPECT_FALSE(roleNeedsStates(ATSPI_ROLE_PASSWORD_TEXT));
  EXPECT_FALSE(roleNeedsStates(ATSPI_ROLE_LABEL));
}

}  // namespace
}  // namespace wrenfold
