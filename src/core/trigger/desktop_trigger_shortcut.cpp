#include "core/trigger/desktop_trigger_shortcut.h"

#include <algorithm>
#include <utility>

namespace wrenfold {

DesktopTriggerShortcut::DesktopTriggerShortcut(CustomKeybindings& store, AcceleratorSyntax syntax,
                                               std::string command)
    : store_(store), syntax_(std::move(syntax)), command_(std::move(command)) {}

Result<std::optional<std::string>> DesktopTriggerShortcut::held() {
  const auto paths = store_.paths();
  if (!paths) {
    return std::unexpected(paths.error());
  }
  if (std::ranges::find(*paths, kWrenfoldKeybindingPath) == paths->end()) {
    return std::optional<std::string>();
  }
  const auto entry = store_.entry(kWrenfoldKeybindingPath);
  if (!entry) {
    return std::unexpected(entry.error());
  }
  if (entry->binding.empty()) {
    return std::optional<std::string>();
  }
  return std::optional(syntax_.describe(entry->binding));
}

Result<std::string> DesktopTriggerShortcut::bind(const Shortcut& shortcut) {
  const auto accelerator = syntax_.spell(shortcut);
  if (!accelerator) {
    return failPlatform("GNOME 无法使用“" + describeShortcut(shortcut) + "”这个按键组合，请换一个快捷键");
  }
  auto paths = store_.paths();
  if (!paths) {
    return std::unexpected(paths.error());
  }
  // The entry first: the desktop starts watching a path the moment it joins the list.
  if (auto written =
          store_.setEntry(kWrenfoldKeybindingPath, {kWrenfoldKeybindingName, command_, *accelerator});
      !written) {
    return std::unexpected(written.error());
  }
  if (std::ranges::find(*paths, kWrenfoldKeybindingPath) == paths->end()) {
    paths->emplace_back(kWrenfoldKeybindingPath);
    if (auto listed = store_.setPaths(*paths); !listed) {
      return std::unexpected(listed.error());
    }
  }
  return syntax_.describe(*accelerator);
}

Result<void> DesktopTriggerShortcut::remove() {
  auto paths = store_.paths();
  if (!paths) {
    return std::unexpected(paths.error());
  }
  if (std::erase(*paths, kWrenfoldKeybindingPath) > 0) {
    if (auto listed = store_.setPaths(*paths); !listed) {
      return listed;
    }
  }
  return store_.resetEntry(kWrenfoldKeybindingPath);
}

}  // namespace wrenfold
