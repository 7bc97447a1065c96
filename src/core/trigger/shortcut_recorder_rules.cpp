#include "core/trigger/shortcut_recorder_rules.h"

#include <algorithm>
#include <array>

#include "core/records/key_code_table.h"

namespace wrenfold {
namespace {

constexpr std::array<MenuItemShortcut, 2> kOwnMenuItems{{
    {{kMacKeyComma, kCarbonControl}, "设置"},
    {{kMacKeyQ, kCarbonControl}, "退出"},
}};

bool withoutModifiers(const Shortcut& key) {
  return (key.carbonModifiers & kCarbonModifierMask) == 0;
}

bool withAtMostShift(const Shortcut& key) {
  return (key.carbonModifiers & (kCarbonModifierMask & ~kCarbonShift)) == 0;
}

}  // namespace

std::span<const MenuItemShortcut> ownMenuItemShortcuts() {
  return kOwnMenuItems;
}

RecorderVerdict judgeRecordedKey(const Shortcut& key,
                                 const std::function<bool(const Shortcut&)>& isTakenByAnotherApplication) {
  using Action = RecorderVerdict::Action;
  const Shortcut normalized{key.carbonKeyCode, key.carbonModifiers & kCarbonModifierMask};
  if (withoutModifiers(key) && key.carbonKeyCode == kMacKeyTab) {
    return {Action::endAndPassOn, {}};
  }
  if (withoutModifiers(key) && key.carbonKeyCode == kMacKeyEscape) {
    return {Action::endAndSwallow, {}};
  }
  if (withoutModifiers(key) &&
      (key.carbonKeyCode == kMacKeyDelete || key.carbonKeyCode == kMacKeyForwardDelete)) {
    return {Action::clear, {}};
  }
  if (withAtMostShift(key) && !isFunctionKey(key.carbonKeyCode)) {
    return {Action::beep, {}};
  }
  const auto menuItem = std::ranges::find(kOwnMenuItems, normalized, &MenuItemShortcut::shortcut);
  if (menuItem != kOwnMenuItems.end()) {
    return {Action::usedByMenuItem, menuItem->title};
  }
  if (isTakenByAnotherApplication && isTakenByAnotherApplication(normalized)) {
    return {Action::usedByApplication, {}};
  }
  return {Action::record, {}};
}

}  // namespace wrenfold
