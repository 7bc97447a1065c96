#include "fakes/fake_global_hot_keys.h"

#include "core/records/key_code_table.h"

namespace wrenfold::testing {

Result<void> FakeGlobalHotKeys::registerHotKey(std::uint32_t id, const Shortcut& shortcut) {
  if (taken_.contains(shortcut)) {
    return failPlatform("快捷键已被其他程序占用");
  }
  registrations_[id] = shortcut;
  return {};
}

void FakeGlobalHotKeys::unregisterHotKey(std::uint32_t id) {
  registrations_.erase(id);
}

bool FakeGlobalHotKeys::isTakenByAnotherApplication(const Shortcut& shortcut) {
  return taken_.contains(shortcut);
}

std::optional<Shortcut> FakeGlobalHotKeys::shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                                std::uint32_t nativeModifiers) const {
  if (!keysymForMacKeyCode(nativeKeyCode)) {
    return std::nullopt;
  }
  return Shortcut{nativeKeyCode, nativeModifiers & kCarbonModifierMask};
}

std::vector<Shortcut> FakeGlobalHotKeys::registered() const {
  std::vector<Shortcut> shortcuts;
  for (const auto& [id, shortcut] : registrations_) {
    shortcuts.push_back(shortcut);
  }
  return shortcuts;
}

void FakeGlobalHotKeys::press(const Shortcut& shortcut) {
  report(shortcut, Phase::pressed);
}

void FakeGlobalHotKeys::release(const Shortcut& shortcut) {
  report(shortcut, Phase::released);
}

void FakeGlobalHotKeys::report(const Shortcut& shortcut, Phase phase) {
  for (const auto& [id, registered] : registrations_) {
    if (registered == shortcut && handler_) {
      handler_(id, phase);
      return;
    }
  }
}

}  // namespace wrenfold::testing
