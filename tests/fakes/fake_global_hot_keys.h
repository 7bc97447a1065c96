#pragma once

#include <map>
#include <set>
#include <vector>

#include "core/platform/global_hot_keys.h"
#include "core/records/key_code_table.h"

namespace wrenfold::testing {

// Global hot keys in memory. Native key events are spelled in the stored format: the native key
// code is the macOS key code and the native modifiers the Carbon mask.
class FakeGlobalHotKeys final : public GlobalHotKeys {
 public:
  void setHandler(Handler handler) override { handler_ = std::move(handler); }
  [[nodiscard]] Result<void> registerHotKey(std::uint32_t id, const Shortcut& shortcut) override {
    if (taken_.contains(shortcut)) {
      return failPlatform("快捷键已被其他程序占用");
    }
    registrations_[id] = shortcut;
    return {};
  }
  void unregisterHotKey(std::uint32_t id) override { registrations_.erase(id); }
  [[nodiscard]] bool isTakenByAnotherApplication(const Shortcut& shortcut) override {
    return taken_.contains(shortcut);
  }
  [[nodiscard]] std::optional<Shortcut> shortcutForNativeKey(std::uint32_t nativeKeyCode,
                                                             std::uint32_t nativeModifiers) const override {
    if (!keysymForMacKeyCode(nativeKeyCode)) {
      return std::nullopt;
    }
    return Shortcut{nativeKeyCode, nativeModifiers & kCarbonModifierMask};
  }

  // --- test interface
  void takeByAnotherApplication(const Shortcut& shortcut) { taken_.insert(shortcut); }
  // The shortcuts registered now, one entry per registration.
  [[nodiscard]] std::vector<Shortcut> registered() const {
    std::vector<Shortcut> shortcuts;
    for (const auto& [id, shortcut] : registrations_) {
      shortcuts.push_back(shortcut);
    }
    return shortcuts;
  }
  // Presses or releases a key as the user would: the registration holding it, if any, reports.
  void press(const Shortcut& shortcut) { report(shortcut, Phase::pressed); }
  void release(const Shortcut& shortcut) { report(shortcut, Phase::released); }

 private:
  void report(const Shortcut& shortcut, Phase phase) {
    for (const auto& [id, registered] : registrations_) {
      if (registered == shortcut && handler_) {
        handler_(id, phase);
        return;
      }
    }
  }

  Handler handler_;
  std::map<std::uint32_t, Shortcut> registrations_;
  std::set<Shortcut> taken_;
};

}  // namespace wrenfold::testing
