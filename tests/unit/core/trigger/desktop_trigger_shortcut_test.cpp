// Wrenfold's entry in the desktop's custom shortcuts: only its own path is ever added, rewritten
// or removed.
#include "core/trigger/desktop_trigger_shortcut.h"

#include <gtest/gtest.h>

#include <map>

#include "core/records/key_code_table.h"

namespace wrenfold {
namespace {

class MemoryKeybindings final : public CustomKeybindings {
 public:
  Result<std::vector<std::string>> paths() override { return list; }
  Result<void> setPaths(const std::vector<std::string>& paths) override {
    if (locked) {
      return failPlatform("已被锁定");
    }
    list = paths;
    return {};
  }
  Result<CustomKeybinding> entry(const std::string& path) override { return entries[path]; }
  Result<void> setEntry(const std::string& path, const CustomKeybinding& entry) override {
    if (locked) {
      return failPlatform("已被锁定");
    }
    entries[path] = entry;
    return {};
  }
  Result<void> resetEntry(const std::string& path) override {
    entries.erase(path);
    return {};
  }

  std::vector<std::string> list;
  std::map<std::string, CustomKeybinding> entries;
  bool locked = false;
};

const std::string kUserPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/";
const CustomKeybinding kUserEntry{"终端", "gnome-terminal", "<Super>t"};

AcceleratorSyntax syntax() {
  return {[](const Shortcut& s) {
            return s.carbonKeyCode == kMacKeySpace
                       ? std::optional<std::string>(s.carbonModifiers == kCarbonControl ? "<Control>space"
                                                                                        : "<Alt>space")
                       : std::nullopt;
          },
          [](const std::string& accelerator) { return "按键 " + accelerator; }};
}

TEST(DesktopTriggerShortcut, AddsRewritesAndRemovesOnlyItsOwnEntry) {
  MemoryKeybindings store;
  store.list = {kUserPath};
  store.entries[kUserPath] = kUserEntry;
  DesktopTriggerShortcut shortcut(store, syntax(), "/usr/bin/wrenfold trigger");
  EXPECT_EQ(shortcut.held().value(), std::optional<std::string>());

  EXPECT_EQ(shortcut.bind({kMacKeySpace, kCarbonControl}), "按键 <Control>space");
  EXPECT_EQ(store.list, (std::vector<std::string>{kUserPath, kWrenfoldKeybindingPath}));
  EXPECT_EQ(store.entries[kWrenfoldKeybindingPath],
            (CustomKeybinding{"唤起 Wrenfold", "/usr/bin/wrenfold trigger", "<Control>space"}));
  EXPECT_EQ(shortcut.bind({kMacKeySpace, kCarbonOption}), "按键 <Alt>space");
  EXPECT_EQ(store.list.size(), 2U) << "rebinding lists the entry once";
  EXPECT_EQ(shortcut.held().value(), std::optional<std::string>("按键 <Alt>space"));

  ASSERT_TRUE(shortcut.remove());
  EXPECT_EQ(store.list, std::vector<std::string>{kUserPath});
  EXPECT_FALSE(store.entries.contains(kWrenfoldKeybindingPath));
  EXPECT_EQ(store.entries[kUserPath], kUserEntry);
  EXPECT_EQ(shortcut.held().value(), std::optional<std::string>());

  // An entry left at our path but no longer listed (the user removed it in GNOME) is not held.
  store.entries[kWrenfoldKeybindingPath] = {"唤起 Wrenfold", "wrenfold trigger", "<Alt>space"};
  EXPECT_EQ(shortcut.held().value(), std::optional<std::string>());
}

TEST(DesktopTriggerShortcut, RefusalsLeaveTheDesktopsListAsItWas) {
  MemoryKeybindings store;
  store.list = {kUserPath};
  DesktopTriggerShortcut shortcut(store, syntax(), "wrenfold trigger");

  const auto unnamed = shortcut.bind({kMacKeyQ, kCarbonControl});
  ASSERT_FALSE(unnamed);
  EXPECT_EQ(unnamed.error().localizedDescription(), "GNOME 无法使用“Ctrl+Q”这个按键组合，请换一个快捷键");

  store.locked = true;
  const auto locked = shortcut.bind({kMacKeySpace, kCarbonControl});
  ASSERT_FALSE(locked);
  EXPECT_EQ(locked.error().localizedDescription(), "已被锁定");
  EXPECT_EQ(store.list, std::vector<std::string>{kUserPath});
  EXPECT_EQ(shortcut.held().value(), std::optional<std::string>());
}

}  // namespace
}  // namespace wrenfold
