#include "platform/linux/application_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace wrenfold {
namespace {

TEST(ApplicationChangesTest, EachKindOfChangeMovesOnlyItsApplicationsStampAndNoStampComesBack) {
  ApplicationChanges changes;
  const auto note = [&](std::string_view type) {
    const auto gedit = changes.stamp(":1.42");
    const auto other = changes.stamp(":1.7");
    changes.note(":1.42", type);
    EXPECT_EQ(changes.stamp(":1.7"), other) << type;
    return changes.stamp(":1.42") != gedit;
  };
  for (const std::string_view type :
       {"object:text-changed:insert", "object:children-changed:remove", "object:state-changed:showing",
        "object:property-change:accessible-name", "object:bounds-changed", "object:visible-data-changed"}) {
    EXPECT_TRUE(note(type)) << type;
  }
  for (const std::string_view type : {"object:text-caret-moved", "object:text-changedX", "window:activate"}) {
    EXPECT_FALSE(note(type)) << type;
  }
  const auto before = changes.stamp(":1.1");
  for (int i = 0; i < 1001; ++i) {  // more applications than are remembered
    changes.note(":2." + std::to_string(i), "object:children-changed:add");
  }
  EXPECT_NE(changes.stamp(":1.1"), before);
}

}  // namespace
}  // namespace wrenfold
