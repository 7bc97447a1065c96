#pragma once

// What the shortcut recorder does with a key pressed while it records, rule by rule in order:
// Tab and Escape end recording, Delete and Backspace clear, keys with at most Shift must be
// function keys, a shortcut of one of Wrenfold's own menu items or one another application
// holds is refused with an alert, anything else is recorded.

#include <functional>
#include <span>
#include <string_view>

#include "core/records/shortcut.h"

namespace wrenfold {

struct MenuItemShortcut {
  Shortcut shortcut;
  std::string_view title;
};

// Wrenfold's own menu items with a key: "设置" (Ctrl+,) and "退出" (Ctrl+Q).
[[nodiscard]] std::span<const MenuItemShortcut> ownMenuItemShortcuts();

struct RecorderVerdict {
  enum class Action {
    endAndPassOn,       // Tab: recording ends, the key moves the focus on
    endAndSwallow,      // Escape: recording ends
    clear,              // Delete, Backspace: the shortcut is removed
    beep,               // not a usable shortcut; nothing changes
    usedByMenuItem,     // alert naming `menuItemTitle`; recording goes on
    usedByApplication,  // alert: another application holds it; recording goes on
    record,             // store it, then end recording
  };
  Action action = Action::beep;
  std::string_view menuItemTitle;

  bool operator==(const RecorderVerdict&) const = default;
};

// `isTakenByAnotherApplication` is asked only when the earlier rules let the key through.
[[nodiscard]] RecorderVerdict judgeRecordedKey(
    const Shortcut& key, const std::function<bool(const Shortcut&)>& isTakenByAnotherApplication);

}  // namespace wrenfold
